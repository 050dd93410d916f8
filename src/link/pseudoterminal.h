#pragma once
// A pseudo-terminal pair in raw mode standing in for an instrument cable: the program
// opens the slave by its path like any serial device, and whoever plays the instrument
// writes on the master. Closing the master is what pulling the cable looks like.

#include <QByteArray>
#include <QString>

namespace sorrel {

class PseudoTerminal {
public:
    PseudoTerminal(); // check isOpen()
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isOpen() const { return master_ >= 0; }
    const QString &slavePath() const { return path_; }
    // Non-blocking; false unless every byte went.
    bool write(QByteArrayView bytes);
    void unplug();

private:
    int master_ = -1;
    QString path_;
};

} // namespace sorrel

#include "link/serialportnames.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>

namespace sorrel {

namespace {

int portGroup(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    return name.startsWith(u"ttyUSB") || name.startsWith(u"ttyACM") ? 0 : 1;
}

// "ttyUSB10" after "ttyUSB2": the trailing number compares as a number.
std::pair<QString, qlonglong> naturalKey(const QString &path)
{
    qsizetype i = path.size();
    while (i > 0 && path.at(i - 1).isDigit())
        --i;
    const QString digits = path.mid(i);
    return {path.left(i), digits.isEmpty() ? -1 : digits.toLongLong()};
}

} // namespace

QStringList orderSerialPortNames(QStringList devicePaths)
{
    std::stable_sort(devicePaths.begin(), devicePaths.end(), [&](const QString &a, const QString &b) {
        const int ga = portGroup(a), gb = portGroup(b);
        if (ga != gb)
            return ga < gb;
        return naturalKey(a) < naturalKey(b);
    });
    return devicePaths;
}

QString comPortDeviceName(int n)
{
    const QByteArray var = "SORREL_COM" + QByteArray::number(n);
    const QString fromEnv = qEnvironmentVariable(var.constData());
    if (!fromEnv.isEmpty())
        return fromEnv;
    QStringList present;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        present << info.systemLocation();
    present = orderSerialPortNames(present);
    return n >= 1 && n <= present.size() ? present.at(n - 1) : QString();
}

} // namespace sorrel

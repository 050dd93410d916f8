#pragma once
// Which device a port number 1..4 opens on this platform.

#include <QString>
#include <QStringList>

namespace sorrel {

// USB adapters (ttyUSB, ttyACM) first, then the rest (on-board ttyS ...), each group in
// numeric order, so the cable a newcomer plugs in is COM 1.
QStringList orderSerialPortNames(QStringList devicePaths);

// The device for COM n: the environment variable SORREL_COMn when set, else the n-th
// present serial port; empty when there is none.
QString comPortDeviceName(int n);

} // namespace sorrel

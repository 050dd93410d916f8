#pragma once
// Every Open and Save dialog of the program comes from here.

#include <QString>

class QFileDialog;
class QWidget;

namespace sorrel {

// Qt's own dialog, told never to open a file of the folder it lists: it guesses types and
// icons from names only. Qt would otherwise read any file whose name does not settle its
// type, and a special file (/proc/kmsg, a FIFO with no writer) blocks that read for ever.
QFileDialog *newFileDialog(QWidget *parent, const QString &caption = {});

} // namespace sorrel

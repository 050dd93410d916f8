#pragma once
// What the main window's link section names.

#include "link/commportdriver.h"
#include "link/gui/clickablepanel.h"
#include "link/meterlinks.h"

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimer;

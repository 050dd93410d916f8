// Compiled with sorrel_core's include path by the core_rejects_widgets test, which expects failure.
#include <QtWidgets/QWidget>
int probe()
{
    return sizeof(QWidget);
}

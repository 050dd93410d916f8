#include "record/gui/chartpicture.h"

#include "app/notifier.h"

#include <QDir>
#include <QImageWriter>
#include <QSaveFile>
#include <QWidget>

namespace sorrel {

QImage chartPicture(QWidget *chart)
{
    QImage image(chart->size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    // Without the window background, whatever the chart leaves unpainted stays white.
    chart->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

void saveChartPicture(QWidget *chart, const QString &fileName)
{
    const QImage image = chartPicture(chart);
    const QString shown = QDir::toNativeSeparators(fileName);
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure(QStringLiteral("Cannot create file \"%1\". %2").arg(shown, file.errorString()));
    QImageWriter writer(&file, "bmp");
    if (!writer.write(image)) {
        file.cancelWriting();
        throw Failure(QStringLiteral("Cannot write file \"%1\". %2").arg(shown, writer.errorString()));
    }
    if (!file.commit())
        throw Failure(QStringLiteral("Cannot write file \"%1\". %2").arg(shown, file.errorString()));
}

} // namespace sorrel

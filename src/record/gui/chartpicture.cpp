#include "record/gui/chartpicture.h"

#include "base/notifier.h"
#include "record/replacingfile.h"

#include <QAbstractScrollArea>
#include <QDir>
#include <QImageWriter>
#include <QWidget>

namespace sorrel {

QImage chartPicture(QWidget *chart)
{
    QImage image(chart->size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    // The chart's own drawing, without the window background (so what it leaves
    // unpainted stays white) and without the controls placed on it; a chart drawn in
    // a scroll area's viewport brings that along.
    chart->render(&image, QPoint(), QRegion(), {});
    if (auto *area = qobject_cast<QAbstractScrollArea *>(chart)) {
        QWidget *viewport = area->viewport();
        viewport->render(&image, viewport->mapTo(chart, QPoint(0, 0)), QRegion(), QWidget::DrawChildren);
    }
    return image;
}

Outcome saveChartPicture(QWidget *chart, const QString &fileName)
{
    const QImage image = chartPicture(chart);
    const QString shown = QDir::toNativeSeparators(fileName);
    const auto failed = [&](const char *what, const QString &why) {
        return Outcome::failure(QStringLiteral("Cannot %1 file \"%2\".").arg(QLatin1String(what), shown),
                                QStringLiteral(" "), why, MessageKind::Failure);
    };
    ReplacingFile file(fileName);
    if (!file.open())
        return failed("create", file.errorString());
    QImageWriter writer(&file, "bmp");
    if (!writer.write(image))
        return failed("write",
                      writer.error() == QImageWriter::DeviceError ? file.errorString() : writer.errorString());
    if (!file.commit())
        return failed("write", file.errorString());
    return Outcome::done(QStringLiteral("Graphic has saved on ") + fileName, MessageKind::Information);
}

} // namespace sorrel

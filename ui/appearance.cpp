#include "ui/appearance.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>

namespace keldar {

void applyAppearance()
{
    const QStringList sans = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                              QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")};
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
    QFont::insertSubstitutions(QStringLiteral("Arial"), sans);
    QFont::insertSubstitutions(QStringLiteral("Arial Unicode MS"), sans);

    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    QApplication::setFont(font);
}

QIcon programIcon()
{
    // Drawn sizes built into the program, read as the PNG files they are: an
    // icon given a file name has every image plugin loaded and asked about
    // the file first, and the scalable icon needs Qt's SVG plugin, without
    // which it shows nothing at all.
    QIcon icon;
    const QDir sizes(QStringLiteral(":/icons"));
    for (const QString &size : sizes.entryList(QDir::Dirs)) {
        QImageReader png(sizes.filePath(size + QStringLiteral("/keldar.png")), "png");
        png.setAutoDetectImageFormat(false);
        const QImage image = png.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

} // namespace keldar

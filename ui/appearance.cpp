#include "ui/appearance.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QIcon>

#ifndef KELDAR_ICON_FROM_BINDIR
#define KELDAR_ICON_FROM_BINDIR "../share/icons/hicolor/scalable/apps/keldar.svg"
#endif

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
    // A theme lookup parses the themes' whole index files, which costs about
    // as much as building the main window; the installed icon is the one it
    // would find anyway.
    const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath() + u'/' +
                                              QStringLiteral(KELDAR_ICON_FROM_BINDIR));
    if (QFileInfo::exists(installed))
        return QIcon(installed);
    return QIcon::fromTheme(QStringLiteral("keldar"));
}

} // namespace keldar

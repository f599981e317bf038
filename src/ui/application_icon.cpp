#include "ui/application_icon.h"

#include "version.h"

#include <QApplication>
#include <QIcon>

void useApplicationIcon() {
    static bool set = false;
    if (set) {
        return;
    }
    set = true;
    const QString name = QString::fromLatin1(kApplicationId);
    QApplication::setWindowIcon(QIcon::fromTheme(name, QIcon(QStringLiteral(":/icons/%1.svg").arg(name))));
}

#include "ui/about_dialog.h"

#include "ui/application_icon.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

namespace {

constexpr char kObjectName[] = "aboutDialog";
constexpr int kIconSize = 64;

// A dialog closed a moment ago is still around until its deferred delete runs; only a visible one
// counts as open.
QMessageBox* openAboutDialog() {
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        auto* box = qobject_cast<QMessageBox*>(window);
        if (box != nullptr && box->isVisible() && box->objectName() == QLatin1String(kObjectName)) {
            return box;
        }
    }
    return nullptr;
}

} // namespace

QString copyrightLine() {
    return QStringLiteral("© 2026 Variredu Divar developers");
}

void showAboutDialog(QWidget* parent) {
    QMessageBox* box = openAboutDialog();
    if (box == nullptr) {
        const QString name = QGuiApplication::applicationDisplayName();
        box = new QMessageBox(parent);
        box->setObjectName(QLatin1String(kObjectName));
        box->setAttribute(Qt::WA_DeleteOnClose);
        // A message box is modal unless told otherwise; this one must not block the menu or the window.
        box->setWindowModality(Qt::NonModal);
        // Ends with the name, so the window system shows it as it is: Qt appends the display name
        // to any other title ("アラーム設定 — Variredu Divar").
        box->setWindowTitle(QCoreApplication::translate("AboutDialog", "バージョン情報 — %1").arg(name));
        useApplicationIcon();
        box->setIconPixmap(QApplication::windowIcon().pixmap(kIconSize, kIconSize));
        box->setTextFormat(Qt::PlainText);
        box->setText(QCoreApplication::translate("AboutDialog", "%1 バージョン %2")
                         .arg(name, QCoreApplication::applicationVersion()));
        box->setInformativeText(copyrightLine());
        box->setStandardButtons(QMessageBox::Ok);
    }
    box->show();
    box->raise();
    box->activateWindow();
}

// Opens the alarm settings window on its own, to look at it without the tray.
#include "alarms/settings_store.h"
#include "ui/alarm_settings_view.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QSettings>
#include <QVBoxLayout>

#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Opens the alarm settings window on its own."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("settings-file"),
                                 QStringLiteral("An INI settings file to edit instead of the user's store."),
                                 QStringLiteral("[settings-file]"));
    parser.process(app);

    const QStringList files = parser.positionalArguments();
    const std::unique_ptr<SettingsStore> store =
        files.isEmpty() ? SettingsStore::openUserStore()
                        : std::make_unique<SettingsStore>(
                              std::make_unique<QSettings>(files.first(), QSettings::IniFormat));

    QWidget window;
    window.setWindowTitle(QCoreApplication::translate("AlarmSettingsWindow", "アラーム設定"));
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new AlarmSettingsView(*store, &window));
    window.setMinimumSize(480, 360);
    window.resize(480, 360);
    window.show();
    return QApplication::exec();
}

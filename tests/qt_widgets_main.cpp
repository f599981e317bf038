#include <QApplication>

#include <gtest/gtest.h>

namespace {

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform says this for every window shown; it only buries real messages.
void quietOffscreenNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message != QLatin1String("This plugin does not support propagateSizeHints()")) {
        defaultHandler(type, context, message);
    }
}

} // namespace

// GoogleTest with a widget application object, for the tests of windows and their controls.
int main(int argc, char** argv) {
    defaultHandler = qInstallMessageHandler(quietOffscreenNotes);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

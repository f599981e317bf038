#ifdef VD_WIDGETS
#include <QApplication>
#else
#include <QCoreApplication>
#endif

#include <gtest/gtest.h>

// GoogleTest with a Qt application object, so timers, queued connections, settings and (in the
// widget tests) windows work.
int main(int argc, char** argv) {
    // The offscreen platform says this for every window shown; it only buries real messages.
    static const QtMessageHandler defaultHandler =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (message != QLatin1String("This plugin does not support propagateSizeHints()")) {
                defaultHandler(type, context, message);
            }
        });
#ifdef VD_WIDGETS
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

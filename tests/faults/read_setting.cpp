// Prints one value of a settings file as QSettings reads it, so the shell tests compare stored
// texts without re-implementing Qt's INI quoting. A text is printed as its UTF-8 bytes; any other
// value (the INI reader makes a list of an unquoted text with commas) as its type name, a colon
// and its elements separated by NUL bytes. Exit status 3 when the key is absent.
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SETTINGS-FILE KEY\n", argv[0]);
        return 2;
    }
    const QSettings settings(QString::fromLocal8Bit(argv[1]), QSettings::IniFormat);
    const QVariant value = settings.value(QString::fromUtf8(argv[2]));
    if (!value.isValid()) {
        return 3;
    }
    const QByteArray bytes =
        value.typeId() == QMetaType::QString
            ? value.toString().toUtf8()
            : QByteArray(value.typeName()) + ':' + value.toStringList().join(QChar(0)).toUtf8();
    return std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) == std::size_t(bytes.size())
               ? 0
               : 1;
}

#include "alarms/ini_text.h"

#include <QStringList>

#include <algorithm>
#include <optional>

namespace {

bool isHexDigit(char16_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isPlainKey(const QString& key) {
    return !key.isEmpty() && std::all_of(key.begin(), key.end(), [](QChar qc) {
        const char16_t c = qc.unicode();
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' ||
               c == '-' || c == '.';
    });
}

// A text as QSettings writes it: UTF-8, control characters escaped, quoted when it holds a
// separator or starts or ends with a space. A leading '@' is doubled, since "@Variant(" and the like
// mark values of other types.
QByteArray escapedText(const QString& value) {
    const QString text = value.startsWith(u'@') ? u'@' + value : value;
    QByteArray out;
    bool quote = false;
    bool escapeHexDigit = false; // a hex digit right after "\x1f" would be read as part of it
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        quote = quote || c == ';' || c == ',' || c == '=';
        if (escapeHexDigit && isHexDigit(c)) {
            out += "\\x" + QByteArray::number(c, 16);
            continue;
        }
        escapeHexDigit = false;
        if (c == '\n' || c == '\r' || c == '\t') {
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            out += "\\x" + QByteArray::number(c, 16);
            escapeHexDigit = true;
        } else if (c < 0x80) {
            out += char(c);
        } else {
            const qsizetype length =
                text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
            out += text.mid(i, length).toUtf8();
            i += length - 1;
        }
    }
    return quote || out.startsWith(' ') || out.endsWith(' ') ? '"' + out + '"' : out;
}

std::optional<QByteArray> iniLine(const QString& key, const QVariant& value) {
    if (!isPlainKey(key)) {
        return std::nullopt;
    }
    QByteArray text;
    if (value.typeId() == QMetaType::Bool) {
        text = value.toBool() ? "true" : "false";
    } else if (value.typeId() == QMetaType::QString) {
        text = escapedText(value.toString());
    } else if (value.typeId() == QMetaType::QStringList && value.toStringList().size() > 1) {
        QByteArrayList items;
        for (const QString& item : value.toStringList()) {
            items.append(escapedText(item));
        }
        text = items.join(", ");
    } else {
        return std::nullopt;
    }
    return key.toLatin1() + '=' + text + '\n';
}

} // namespace

IniFile iniFile(const QVariantMap& values) {
    IniFile file{"[General]\n", {}};
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (const std::optional<QByteArray> line = iniLine(it.key(), it.value())) {
            file.content += *line;
            file.keys.insert(it.key().toLatin1());
        } else {
            file.leavesOut = true;
        }
    }
    return file;
}

bool losesLines(const QByteArray& content, const QSet<QByteArray>& keptKeys) {
    QSet<QByteArray> seen;
    for (const QByteArray& line : content.split('\n')) {
        const QByteArray text = line.trimmed();
        if (text.isEmpty() || text == "[General]") {
            continue;
        }
        const qsizetype equals = text.indexOf('=');
        const QByteArray key = text.left(equals).trimmed();
        if (equals < 0 || text.startsWith('[') || !keptKeys.contains(key) || seen.contains(key) ||
            text.endsWith('\\')) {
            return true;
        }
        seen.insert(key);
    }
    return false;
}

#include "clock/stream_speech_output.h"

QString utteranceLine(const QString& text, const std::optional<QString>& languageTag) {
    QString body = text;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\\n"));
    body.replace(u'\r', QStringLiteral("\\n"));
    body.replace(u'\n', QStringLiteral("\\n"));
    return languageTag.value_or(QStringLiteral("-")) + u'\t' + body;
}

StreamSpeechOutput::StreamSpeechOutput(std::FILE* stream)
    : stream_(stream) {}

void StreamSpeechOutput::say(const QString& text, const std::optional<QString>& languageTag) {
    const QByteArray line = utteranceLine(text, languageTag).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stream_);
    std::fflush(stream_);
}

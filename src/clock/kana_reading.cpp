#include "clock/kana_reading.h"

#include "clock/utterance_queue.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QLocale>

#include <mecab.h>

#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>

namespace {

// Halfwidth and Fullwidth Forms. Both trip the reading up: MeCab reads "１２" digit by digit
// (イチニ) and takes "ﾎﾞｽ" for an unknown word, and espeak-ng skips full-width digits. Their
// compatibility forms ("12", "ボス") read right.
bool isWidthForm(QChar c) {
    return c.unicode() >= 0xFF01 && c.unicode() <= 0xFFEE;
}

QString foldWidths(const QString& text) {
    if (std::none_of(text.begin(), text.end(), isWidthForm)) {
        return text;
    }
    QString folded;
    folded.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        qsizetype end = i;
        while (end < text.size() && isWidthForm(text[end])) {
            ++end;
        }
        if (end == i) {
            folded.append(text[i++]);
            continue;
        }
        // A run at a time, so a half-width kana and its separate voicing mark become one letter.
        folded.append(text.sliced(i, end - i).normalized(QString::NormalizationForm_KC));
        i = end;
    }
    return folded;
}

// Field `index` of a CSV feature line without quoting, or empty.
std::string_view field(std::string_view csv, int index) {
    for (int i = 0; i < index; ++i) {
        const auto comma = csv.find(',');
        if (comma == std::string_view::npos) {
            return {};
        }
        csv.remove_prefix(comma + 1);
    }
    return csv.substr(0, csv.find(','));
}

// IPA dictionary features: part of speech (4 fields), conjugation (2), base form, reading,
// pronunciation. The pronunciation is what is heard: the particle は is ワ there, ハ in the reading.
// Unknown words have only the first seven fields.
std::string_view spokenForm(const MeCab::Node& node) {
    const std::string_view features(node.feature);
    for (const int index : {8, 7}) {
        const std::string_view kana = field(features, index);
        if (!kana.empty() && kana != "*") {
            return kana;
        }
    }
    return {node.surface, node.length};
}

} // namespace

KanaReader::KanaReader(std::unique_ptr<MeCab::Model> model, std::unique_ptr<MeCab::Tagger> tagger)
    : model_(std::move(model))
    , tagger_(std::move(tagger)) {}

KanaReader::~KanaReader() = default;

std::unique_ptr<KanaReader> KanaReader::load(const QString& dictionaryDirectory, QString& error) {
    // No resource file: a ~/.mecabrc may name another dictionary, with other fields.
    QByteArray arguments[] = {"variredu-divar", "-r", "/dev/null", "-d", dictionaryDirectory.toLocal8Bit()};
    char* argv[std::size(arguments)];
    for (std::size_t i = 0; i < std::size(arguments); ++i) {
        argv[i] = arguments[i].data();
    }
    std::unique_ptr<MeCab::Model> model(MeCab::createModel(int(std::size(argv)), argv));
    std::unique_ptr<MeCab::Tagger> tagger(model ? model->createTagger() : nullptr);
    if (!tagger) {
        error = QString::fromLocal8Bit(MeCab::getLastError());
        return nullptr;
    }
    return std::unique_ptr<KanaReader>(new KanaReader(std::move(model), std::move(tagger)));
}

QString KanaReader::read(const QString& text) const {
    const QByteArray input = foldWidths(text).toUtf8();
    // A lattice per text: one for a long title holds megabytes, which should not stay.
    const std::unique_ptr<MeCab::Lattice> lattice(model_->createLattice());
    lattice->set_sentence(input.constData(), std::size_t(input.size()));
    if (!tagger_->parse(lattice.get())) {
        qCWarning(lcSpeech) << "no kana reading:" << lattice->what();
        return text;
    }
    QByteArray spoken;
    spoken.reserve(input.size() * 2);
    qsizetype copied = 0; // input bytes dealt with; MeCab skips the whitespace between words
    for (const MeCab::Node* node = lattice->bos_node(); node != nullptr; node = node->next) {
        if (node->stat != MECAB_NOR_NODE && node->stat != MECAB_UNK_NODE) {
            continue;
        }
        const qsizetype start = node->surface - input.constData();
        spoken.append(input.constData() + copied, start - copied);
        const std::string_view form = spokenForm(*node);
        spoken.append(form.data(), qsizetype(form.size()));
        copied = start + node->length;
    }
    spoken.append(input.constData() + copied, input.size() - copied);
    return QString::fromUtf8(spoken);
}

SpeechReading::SpeechReading(bool enabled, QString dictionaryDirectory, std::FILE* messages)
    : enabled_(enabled)
    , dictionaryDirectory_(std::move(dictionaryDirectory))
    , messages_(messages) {}

SpeechReading::~SpeechReading() = default;

QString SpeechReading::forVoice(const QString& text, const std::optional<QString>& languageTag) {
    if (!enabled_ || failed_ || !languageTag || QLocale(*languageTag).language() != QLocale::Japanese) {
        return text;
    }
    if (!reader_) {
        QElapsedTimer timer;
        timer.start();
        QString error;
        reader_ = KanaReader::load(dictionaryDirectory_, error);
        if (reader_) {
            qCDebug(lcSpeech) << "kana reading loaded from" << dictionaryDirectory_ << "in"
                              << timer.nsecsElapsed() / 1000 << "us";
        } else {
            failed_ = true;
            std::fprintf(messages_,
                         "variredu-divar: Japanese announcements go to the voice as written, without kana "
                         "readings: %s\n",
                         qUtf8Printable(error));
            std::fflush(messages_);
        }
    }
    return reader_ ? reader_->read(text) : text;
}

void SpeechReading::unload() {
    reader_.reset();
}

#include "clock/kana_reading.h"

#include "clock/utterance_queue.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QLibrary>
#include <QLocale>

#include <mecab.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

namespace {

// The part of MeCab's C interface the reading uses.
struct MeCabLibrary {
    decltype(&mecab_model_new) modelNew;
    decltype(&mecab_model_destroy) modelDestroy;
    decltype(&mecab_model_new_tagger) taggerNew;
    decltype(&mecab_destroy) taggerDestroy;
    decltype(&mecab_model_new_lattice) latticeNew;
    decltype(&mecab_lattice_destroy) latticeDestroy;
    decltype(&mecab_lattice_set_sentence2) setSentence;
    decltype(&mecab_parse_lattice) parse;
    decltype(&mecab_lattice_get_bos_node) firstNode;
    decltype(&mecab_lattice_strerror) latticeError;
    decltype(&mecab_strerror) lastError;
};

// Loaded once and never let go: a reader may be made again after each batch.
const MeCabLibrary* mecab(QString& error) {
    static QString failure;
    static const std::optional<MeCabLibrary> library = []() -> std::optional<MeCabLibrary> {
        static QLibrary file(QStringLiteral("mecab"), 2);
        if (!file.load()) {
            failure = file.errorString();
            return std::nullopt;
        }
        MeCabLibrary functions{};
        const auto resolve = [](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(file.resolve(name));
            if (function == nullptr) {
                failure = file.errorString();
            }
            return function != nullptr;
        };
        if (!(resolve(functions.modelNew, "mecab_model_new") &&
              resolve(functions.modelDestroy, "mecab_model_destroy") &&
              resolve(functions.taggerNew, "mecab_model_new_tagger") &&
              resolve(functions.taggerDestroy, "mecab_destroy") &&
              resolve(functions.latticeNew, "mecab_model_new_lattice") &&
              resolve(functions.latticeDestroy, "mecab_lattice_destroy") &&
              resolve(functions.setSentence, "mecab_lattice_set_sentence2") &&
              resolve(functions.parse, "mecab_parse_lattice") &&
              resolve(functions.firstNode, "mecab_lattice_get_bos_node") &&
              resolve(functions.latticeError, "mecab_lattice_strerror") &&
              resolve(functions.lastError, "mecab_strerror"))) {
            return std::nullopt;
        }
        return functions;
    }();
    if (!library) {
        error = failure;
        return nullptr;
    }
    return &*library;
}

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
std::string_view spokenForm(const mecab_node_t& node) {
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

KanaReader::KanaReader(mecab_model_t* model, mecab_t* tagger)
    : model_(model)
    , tagger_(tagger) {}

KanaReader::~KanaReader() {
    QString unused;
    const MeCabLibrary* library = mecab(unused); // loaded, or this reader would not exist
    library->taggerDestroy(tagger_);
    library->modelDestroy(model_);
}

std::unique_ptr<KanaReader> KanaReader::load(const QString& dictionaryDirectory, QString& error) {
    const MeCabLibrary* library = mecab(error);
    if (library == nullptr) {
        return nullptr;
    }
    // No resource file: a ~/.mecabrc may name another dictionary, with other fields.
    QByteArray arguments[] = {"variredu-divar", "-r", "/dev/null", "-d", dictionaryDirectory.toLocal8Bit()};
    char* argv[std::size(arguments)];
    for (std::size_t i = 0; i < std::size(arguments); ++i) {
        argv[i] = arguments[i].data();
    }
    mecab_model_t* model = library->modelNew(int(std::size(argv)), argv);
    mecab_t* tagger = model != nullptr ? library->taggerNew(model) : nullptr;
    if (tagger == nullptr) {
        error = QString::fromLocal8Bit(library->lastError(nullptr));
        if (model != nullptr) {
            library->modelDestroy(model);
        }
        return nullptr;
    }
    return std::unique_ptr<KanaReader>(new KanaReader(model, tagger));
}

QString KanaReader::read(const QString& text) const {
    QString unused;
    const MeCabLibrary* library = mecab(unused);
    const QByteArray input = foldWidths(text).toUtf8();
    // A lattice per text: one for a long title holds megabytes, which should not stay.
    const std::unique_ptr<mecab_lattice_t, decltype(library->latticeDestroy)> lattice(
        library->latticeNew(model_), library->latticeDestroy);
    library->setSentence(lattice.get(), input.constData(), std::size_t(input.size()));
    if (library->parse(tagger_, lattice.get()) == 0) {
        qCWarning(lcSpeech) << "no kana reading:" << library->latticeError(lattice.get());
        return text;
    }
    QByteArray spoken;
    spoken.reserve(input.size() * 2);
    qsizetype copied = 0; // input bytes dealt with; MeCab skips the whitespace between words
    for (const mecab_node_t* node = library->firstNode(lattice.get()); node != nullptr; node = node->next) {
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

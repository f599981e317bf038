#pragma once

#include <QString>

#include <cstdio>
#include <memory>
#include <optional>

struct mecab_model_t;
struct mecab_t;

// The kana reading of Japanese text, made with MeCab and its IPA dictionary: "7 時 5 分" reads
// "7 ジ 5 フン", "釣り大会" "ツリタイカイ". espeak-ng, the one Japanese voice Debian packages, reads kana
// well but spells every kanji out as "Chinese letter". MeCab's library itself is loaded with the
// first reader made, not with the program: most sessions never read Japanese, and linked it cost
// every start its relocations and 180 kB.
class KanaReader {
public:
    // Where Debian's mecab-ipadic-utf8 puts the dictionary; the readings depend on its layout of
    // fields, so no other dictionary the user may have made the default is taken.
    static constexpr char kIpadicDirectory[] = "/var/lib/mecab/dic/ipadic-utf8";

    // Null, with `error` set, when the library or the dictionary can't be loaded.
    [[nodiscard]] static std::unique_ptr<KanaReader> load(const QString& dictionaryDirectory, QString& error);
    ~KanaReader();
    KanaReader(const KanaReader&) = delete;
    KanaReader& operator=(const KanaReader&) = delete;

    // Each word the dictionary knows becomes its pronunciation in katakana; everything else (digits,
    // Latin words, emoji, unknown names, whitespace, line breaks) stays as it is. Full- and
    // half-width forms are read as their ordinary forms first.
    [[nodiscard]] QString read(const QString& text) const;

private:
    KanaReader(mecab_model_t* model, mecab_t* tagger);

    mecab_model_t* model_;
    mecab_t* tagger_;
};

// What a voice is handed for each text: the reading for a Japanese voice, the text itself for any
// other. The dictionary is loaded with the first Japanese text after construction or unload(); when
// it can't be, one line goes to `messages` and texts go on as they are from then on.
class SpeechReading {
public:
    explicit SpeechReading(bool enabled,
                           QString dictionaryDirectory = QString::fromLatin1(KanaReader::kIpadicDirectory),
                           std::FILE* messages = stderr);
    ~SpeechReading();
    SpeechReading(const SpeechReading&) = delete;
    SpeechReading& operator=(const SpeechReading&) = delete;

    [[nodiscard]] QString forVoice(const QString& text, const std::optional<QString>& languageTag);

    // Lets the dictionary go. Its pages come into the program's memory 64 KB at a time (the kernel
    // maps around each one read), about 1-3 MB for one announcement, and would pile up over a day of
    // different titles; loading it again takes well under a millisecond.
    void unload();

private:
    const bool enabled_;
    const QString dictionaryDirectory_;
    std::FILE* const messages_;
    bool failed_ = false;
    std::unique_ptr<KanaReader> reader_;
};

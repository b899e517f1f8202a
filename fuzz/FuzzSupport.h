#pragma once

// Shared by the fuzz targets. Each target is one function over the fuzzer's bytes; FUZZ_TARGET
// makes it libFuzzer's entry point, or, with MIVORA_FUZZ_REPLAY, a function replay_<name> that the
// corpus replay test (tests/reliability) calls for every committed input.
//
// A broken property calls fuzzCheck's failure: libFuzzer gets an abort (and saves the input),
// the replay test gets an exception it reports with the file name.

#include <QByteArray>
#include <QString>
#include <QtEndian>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>

#ifdef MIVORA_FUZZ_REPLAY
#define FUZZ_TARGET(name) int replay_##name(const std::uint8_t* data, std::size_t size)
#else
#define FUZZ_TARGET(name) extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
#endif

namespace fuzzing {

struct CheckFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] inline void fail(const std::string& what)
{
#ifdef MIVORA_FUZZ_REPLAY
    throw CheckFailure(what);
#else
    std::fprintf(stderr, "property broken: %s\n", what.c_str());
    std::abort();
#endif
}

// Inputs in messages: percent-encoded, long ones cut (the saved input has them whole).
inline std::string show(const QByteArray& bytes)
{
    const QByteArray shown = bytes.left(160).toPercentEncoding(" =,;+\"\\#<>[]");
    return '"' + shown.toStdString()
        + (bytes.size() > 160 ? "\"... (" + std::to_string(bytes.size()) + " bytes)" : "\"");
}

inline std::string show(const QString& text)
{
    return show(text.toUtf8());
}

#define FUZZ_CHECK(condition, what)                                                                                    \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            ::fuzzing::fail(std::string(#condition) + ": " + (what));                                                  \
    } while (false)

// Takes the fuzzer's bytes piece by piece; past the end every piece is empty or zero.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : data_(reinterpret_cast<const char*>(data))
        , left_(size)
    { }

    bool empty() const { return left_ == 0; }

    std::uint8_t byte()
    {
        if (left_ == 0)
            return 0;
        --left_;
        return static_cast<std::uint8_t>(*data_++);
    }
    std::uint32_t u32()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = (value << 8) | byte();
        return value;
    }
    std::uint64_t u64() { return (std::uint64_t(u32()) << 32) | u32(); }

    // Bytes up to the next separator byte (dropped) or the end.
    QByteArray until(char separator)
    {
        std::size_t n = 0;
        while (n < left_ && data_[n] != separator)
            ++n;
        QByteArray piece(data_, qsizetype(n));
        const std::size_t taken = n < left_ ? n + 1 : n;
        data_ += taken;
        left_ -= taken;
        return piece;
    }
    QByteArray rest()
    {
        QByteArray piece(data_, qsizetype(left_));
        data_ += left_;
        left_ = 0;
        return piece;
    }

private:
    const char* data_;
    std::size_t left_;
};

// UTF-16 code units straight from bytes: lone surrogates and every other oddity included.
inline QString utf16From(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size() / 2);
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        text.append(QChar(char16_t(qFromLittleEndian<quint16>(bytes.constData() + i))));
    return text;
}

// The rest of the input as text, as its first byte says: odd gives raw UTF-16 (lone surrogates and
// every other code unit), even UTF-8, which reaches the interesting ASCII shapes quickly.
struct TextInput {
    bool utf16 = false;
    QByteArray bytes; // the rest as it came
    QString text;
};
inline TextInput textInput(Input& input)
{
    const bool utf16 = input.byte() & 1;
    QByteArray bytes = input.rest();
    QString text = utf16 ? utf16From(bytes) : QString::fromUtf8(bytes);
    return { utf16, std::move(bytes), std::move(text) };
}

// True when no surrogate stands alone.
inline bool wellFormedUtf16(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate()) {
            if (i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate())
                return false;
            ++i;
        } else if (c.isLowSurrogate()) {
            return false;
        }
    }
    return true;
}

} // namespace fuzzing

// Fuzzing the language-file parser: any bytes are decoded as the text of LANGUAGE.TXT and split
// into records. A crash or a sanitizer report is a finding.
#include "app/LanguageFile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = DecodeLanguageFileText(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    const auto records = ParseLanguageFileText(text);
    for (const auto& [key, value] : records) {
        // A record's key never keeps the "???" mark it was copied with, and no field is longer
        // than the text it came from.
        if (key.size() > text.size() || value.size() > text.size()) __builtin_trap();
    }
    return 0;
}

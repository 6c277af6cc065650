// libFuzzer entry: any bytes as an updater.ini. Setting `last` and reading
// it back must give what was set, the rewrite must keep the text before the
// section that changed, and a Unicode file whose bytes decode and encode
// back to themselves must read back as the rewritten text (the writer never
// refuses it an ASCII name). An ANSI file may be refused: left without its
// only invalid sequence it could read as UTF-8, with other letters.
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "app/ini_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    IniEncoding encoding;
    std::u16string text = IniDecode(bytes, &encoding);
    std::u16string before;
    IniFindValue(text, u"updater", u"url", &before);

    std::u16string rewritten = IniSetValue(text, u"updater", u"last", u"Chosen Script");
    std::u16string value;
    if (!IniFindValue(rewritten, u"updater", u"last", &value) || value != u"Chosen Script") abort();
    std::u16string after;
    IniFindValue(rewritten, u"updater", u"url", &after);
    if (after != before) abort();

    IniEncoding again;
    std::u16string reread = IniDecode(IniEncode(rewritten, encoding), &again);
    bool unicode = encoding != IniAnsi;
    if (unicode && IniEncode(text, encoding) == bytes && reread != rewritten) abort();
    return 0;
}

#include "synth/text.h"
namespace synth {
std::string commandToText(std::int32_t, const CommandParams&) { return " "; }
std::string realToText(long double) { return "0"; }
bool parseCommandText(std::string_view, std::int32_t&, CommandParams&, std::string* e) { if (e) *e = "not yet"; return false; }
bool parseCommandList(std::string_view, Histories&, std::string* e) { if (e) *e = "not yet"; return false; }
std::string historiesToText(const Histories&) { return {}; }
bool renderCommandText(std::string_view, int, int, std::vector<std::uint8_t>&, std::string* e, PixelFormat) { if (e) *e = "not yet"; return false; }
bool renderCommandSource(const std::string&, int, int, std::vector<std::uint8_t>&, std::string* e, PixelFormat) { if (e) *e = "not yet"; return false; }
}

// Text form of commands and command lists.
#include "synth/text.h"

#include <cctype>
#include <charconv>
#include <cmath>

#include "fileio/fileio.h"
#include "synth/operations.h"

namespace synth {

namespace {

std::string trimZeros(std::string s) {
  const std::size_t dot = s.find('.');
  if (dot == std::string::npos) return s;
  std::size_t end = s.size();
  while (end > dot + 1 && s[end - 1] == '0') --end;
  if (end == dot + 1) --end;
  s.resize(end);
  return s;
}

std::string shortestScientific(long double v) {
  char buf[128];
  std::to_chars_result r;
  const float f = static_cast<float>(v);
  if (static_cast<long double>(f) == v)
    r = std::to_chars(buf, buf + sizeof buf, f, std::chars_format::scientific);
  else
    r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
  return std::string(buf, r.ptr);
}

}  // namespace

std::string realToText(long double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  if (v > 0 && v < 0.00001L) return shortestScientific(v);
  // Integer part within 15 characters: |v| < 1e15 (1e14 when negative).
  if (std::fabs(v) >= (v < 0 ? 1e14L : 1e15L)) return shortestScientific(v);
  char buf[128];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 17);
  return trimZeros(std::string(buf, r.ptr));
}

std::string commandToText(std::int32_t opcode, const CommandParams& params) {
  const OperationInfo* op = findOperation(opcode);
  if (!op) return " ";
  std::string out = op->name;
  out += '(';
  for (int k = 0; k < op->argCount; ++k) {
    if (k) out += ',';
    const ArgSpec& s = op->args[k];
    switch (s.kind) {
      case ArgKind::layer:
      case ArgKind::workLayer:
      case ArgKind::integer:
        out += std::to_string(slotToInt(params.p[s.slot]));
        break;
      case ArgKind::real:
        out += realToText(params.p[s.slot]);
        break;
      case ArgKind::boolean:
        out += slotToBool(params.p[s.slot]) ? "true" : "false";
        break;
      case ArgKind::span:
        out += realToText(static_cast<long double>(params.p[s.slot]) -
                          static_cast<long double>(params.p[s.base]));
        break;
      case ArgKind::bailout:
        out += "16";
        break;
    }
  }
  out += ");";
  return out;
}

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view stripComment(std::string_view s) {
  const std::size_t hash = s.find('#');
  return hash == std::string_view::npos ? s : s.substr(0, hash);
}

std::string quoted(std::string_view s) {
  std::string out = "\"";
  for (char c : s.substr(0, 40)) out += (static_cast<unsigned char>(c) < 32 || c == 127) ? '?' : c;
  if (s.size() > 40) out += "...";
  return out + "\"";
}

bool parseIntArg(std::string_view t, float& out, std::string& why) {
  long long v = 0;
  const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
  if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size()) {
    why = "expected an integer, found " + quoted(t);
    return false;
  }
  if (v < -2147483648LL || v > 2147483647LL) {
    why = "integer " + std::string(t) + " is outside the 32-bit range";
    return false;
  }
  // The stored single must read back as the same integer (2147483647
  // is stored as 2^31, which reads back saturated).
  const float f = static_cast<float>(v);
  if (slotToInt(f) != v) {
    why = "integer " + std::string(t) + " cannot be stored exactly in a command (nearest: " +
          std::to_string(slotToInt(f)) + ")";
    return false;
  }
  out = f;
  return true;
}

template <typename T>
bool parseRealArg(std::string_view t, T& out, std::string& why) {
  T v{};
  // A terminated copy: libstdc++ 12 reads long doubles through strtold.
  const std::string copy(t);
  const char* b = copy.c_str();
  const char* e = b + copy.size();
  if (b != e && *b == '+') ++b;  // from_chars takes no plus sign
  const auto r = std::from_chars(b, e, v);
  if (t.empty() || r.ec != std::errc() || r.ptr != e) {
    why = r.ec == std::errc::result_out_of_range
              ? "number " + quoted(t) + " is out of range for a single"
              : "expected a number, found " + quoted(t);
    return false;
  }
  out = v;
  return true;
}

}  // namespace

bool parseCommandText(std::string_view line, std::int32_t& opcode, CommandParams& params,
                      std::string* error) {
  auto fail = [&](std::string why) {
    if (error) *error = std::move(why);
    return false;
  };
  std::string_view s = trim(stripComment(line));
  if (s.empty()) return fail("empty command");
  std::size_t n = 0;
  while (n < s.size() && (std::isalnum(static_cast<unsigned char>(s[n])) || s[n] == '_')) ++n;
  const std::string_view name = s.substr(0, n);
  if (name.empty()) return fail("expected an operation name, found " + quoted(s));
  const OperationInfo* op = findOperationByName(name);
  if (!op) return fail("unknown operation " + quoted(name));
  s = trim(s.substr(n));
  if (s.empty() || s.front() != '(') return fail(std::string("expected \"(\" after ") + op->name);
  const std::size_t close = s.find(')');
  if (close == std::string_view::npos) return fail("missing \")\"");
  std::string_view rest = trim(s.substr(close + 1));
  if (!rest.empty() && rest.front() == ';') rest = trim(rest.substr(1));
  if (!rest.empty()) return fail("unexpected text after the command: " + quoted(rest));

  std::string_view inner = s.substr(1, close - 1);
  std::string_view args[kMaxArgs + 1];
  int count = 0;
  if (!trim(inner).empty()) {
    for (;;) {
      const std::size_t comma = inner.find(',');
      if (count > kMaxArgs) break;
      args[count++] = trim(inner.substr(0, comma));
      if (comma == std::string_view::npos) break;
      inner = inner.substr(comma + 1);
    }
  }
  if (count != op->argCount)
    return fail(std::string(op->name) + " takes " + std::to_string(op->argCount) +
                " arguments, found " + (count > kMaxArgs ? "more" : std::to_string(count)));

  CommandParams p{};
  long double spans[kMaxArgs] = {};
  std::string why;
  for (int k = 0; k < count; ++k) {
    const ArgSpec& a = op->args[k];
    const std::string prefix = std::string(op->name) + " argument " + std::to_string(k + 1) + " (" + a.name + "): ";
    bool ok = true;
    switch (a.kind) {
      case ArgKind::layer:
      case ArgKind::workLayer:
      case ArgKind::integer:
        ok = parseIntArg(args[k], p.p[a.slot], why);
        break;
      case ArgKind::real:
        ok = parseRealArg(args[k], p.p[a.slot], why);
        break;
      case ArgKind::boolean:
        if (args[k] == "true") {
          p.p[a.slot] = 1.0f;
        } else if (args[k] == "false") {
          p.p[a.slot] = 0.0f;
        } else {
          ok = false;
          why = "expected true or false, found " + quoted(args[k]);
        }
        break;
      case ArgKind::span:
        ok = parseRealArg(args[k], spans[k], why);
        break;
      case ArgKind::bailout: {
        float v = 0;
        ok = parseRealArg(args[k], v, why);
        if (ok && v != 16.0f) {
          ok = false;
          why = "the bail-out limit is always 16";
        }
        break;
      }
    }
    if (!ok) return fail(prefix + why);
  }
  // Spans become the far edge: slot = base + span (the base is read above).
  for (int k = 0; k < count; ++k) {
    const ArgSpec& a = op->args[k];
    if (a.kind == ArgKind::span)
      p.p[a.slot] = static_cast<float>(static_cast<long double>(p.p[a.base]) + spans[k]);
  }
  opcode = op->opcode;
  params = p;
  return true;
}

bool parseCommandList(std::string_view text, Histories& histories, std::string* error) {
  Histories h{};
  int current = kOutputLayer;
  int lineNumber = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a UTF-8 byte order mark
  auto fail = [&](const std::string& why) {
    if (error) *error = "line " + std::to_string(lineNumber) + ": " + why;
    return false;
  };
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view raw = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNumber;
    if (raw.find('\0') != std::string_view::npos) return fail("zero byte in the text");
    const std::string_view line = trim(stripComment(raw));
    if (line.empty()) {
      if (end == text.size()) break;
      continue;
    }
    if (line.front() == '[') {
      std::string_view in = line.substr(1);
      const std::size_t close = in.find(']');
      if (close == std::string_view::npos || !trim(in.substr(close + 1)).empty())
        return fail("expected a section header \"[layer N]\", found " + quoted(line));
      in = trim(in.substr(0, close));
      if (in.substr(0, 5) != "layer" || in.size() == 5 || !isSpace(in[5]))
        return fail("expected a section header \"[layer N]\", found " + quoted(line));
      const std::string_view num = trim(in.substr(5));
      int v = -1;
      const auto r = std::from_chars(num.data(), num.data() + num.size(), v);
      if (num.empty() || r.ec != std::errc() || r.ptr != num.data() + num.size() || v < 0 ||
          v >= kHistoryLayers)
        return fail("section layer must be 0..4, found " + quoted(num));
      current = v;
    } else {
      std::int32_t opcode = 0;
      CommandParams params;
      std::string why;
      if (!parseCommandText(line, opcode, params, &why)) return fail(why);
      why = validateCommand(opcode, params);
      if (!why.empty()) return fail(why);
      CommandHistory& hist = h[std::size_t(current)];
      if (hist.count >= kMaxCommands)
        return fail("layer " + std::to_string(current) + " already holds 100 commands");
      hist.opcodes[std::size_t(hist.count)] = opcode;
      hist.params[std::size_t(hist.count)] = params;
      ++hist.count;
    }
    if (end == text.size()) break;
  }
  histories = h;
  return true;
}

std::string historiesToText(const Histories& histories) {
  std::string out;
  for (int l = 0; l < kHistoryLayers; ++l) {
    const CommandHistory& h = histories[std::size_t(l)];
    if (h.count <= 0) continue;
    if (!out.empty()) out += '\n';
    out += "[layer " + std::to_string(l) + "]\n";
    for (int i = 0; i < h.count && i < kMaxCommands; ++i) {
      const std::int32_t op = h.opcodes[std::size_t(i)];
      const CommandParams& p = h.params[std::size_t(i)];
      if (!findOperation(op)) {
        out += "# opcode " + std::to_string(op) + " (no operation)";
      } else if (const std::string why = validateCommand(op, p); !why.empty()) {
        // Replays skip it too; as a comment the list still compiles.
        out += "# skipped, " + why + ": " + commandToText(op, p);
      } else {
        // The text form rounds tiny negative reals to "-0"; a command that
        // would read back invalid that way stays a comment too.
        const std::string text = commandToText(op, p);
        std::int32_t backOp = 0;
        CommandParams back{};
        std::string backWhy;
        if (parseCommandText(text, backOp, back, &backWhy)) backWhy = validateCommand(backOp, back);
        if (backWhy.empty()) out += text;
        else out += "# not exact as text, " + backWhy + ": " + text;
      }
      out += '\n';
    }
  }
  return out;
}

namespace {

bool toFormat(std::vector<std::uint8_t>& bgrx, PixelFormat format, std::vector<std::uint8_t>& out) {
  if (format == PixelFormat::bgrx) {
    out.swap(bgrx);
    return true;
  }
  const std::size_t n = bgrx.size() / 4;
  std::vector<std::uint8_t> rgb(n * 3);
  for (std::size_t i = 0; i < n; ++i) {
    rgb[3 * i] = bgrx[4 * i + 2];
    rgb[3 * i + 1] = bgrx[4 * i + 1];
    rgb[3 * i + 2] = bgrx[4 * i];
  }
  out.swap(rgb);
  return true;
}

}  // namespace

bool renderCommandText(std::string_view text, int width, int height,
                       std::vector<std::uint8_t>& pixels, std::string* error, PixelFormat format) {
  Histories h{};
  if (!parseCommandList(text, h, error)) return false;
  Synth synth;
  std::vector<std::uint8_t> bgrx;
  if (!synth.renderHistories(bgrx, h, width, height, true, error)) return false;
  return toFormat(bgrx, format, pixels);
}

bool readCommandSource(const std::string& fileName, std::string& data, std::string* error) {
  if (fileio::readFile(fileName, kMaxCommandSourceBytes, data, error)) return true;
  if (error && error->find("larger than") != std::string::npos)
    *error += ", neither a command list nor a dump";
  return false;
}

bool renderCommandSource(const std::string& fileName, int width, int height,
                         std::vector<std::uint8_t>& pixels, std::string* error,
                         PixelFormat format) {
  std::string data;
  if (!readCommandSource(fileName, data, error)) return false;
  Histories h{};
  std::string why;
  if (data.find('\0') != std::string::npos) {
    if (!decodeDump(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), h, &why)) {
      if (error) *error = fileName + ": " + why;
      return false;
    }
  } else if (!parseCommandList(data, h, &why)) {
    if (error) *error = fileName + ": " + why;
    return false;
  }
  Synth synth;
  std::vector<std::uint8_t> bgrx;
  if (!synth.renderHistories(bgrx, h, width, height, true, error)) return false;
  return toFormat(bgrx, format, pixels);
}

}  // namespace synth

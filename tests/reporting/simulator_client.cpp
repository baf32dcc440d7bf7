#include "reporting/simulator_client.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "platform/win32_test_support.h"

namespace kova {
namespace test {

namespace {

std::string Env(const char* name) {
  char value[1024];
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

std::string ControlFile(const char* name) { return Env("KOVA_SIMULATOR_DIR") + "\\" + name; }

std::string Json(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);  // read back as latin-1
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

const char kInternetSettings[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

}  // namespace

std::string SeenRequest::Header(const std::string& name) const {
  for (const std::string& line : header_lines) {
    size_t colon = line.find(':');
    if (colon != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < colon && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(line[i])) ==
             std::tolower(static_cast<unsigned char>(name[i]));
    }
    if (!same) continue;
    size_t start = line.find_first_not_of(' ', colon + 1);
    return start == std::string::npos ? std::string() : line.substr(start);
  }
  return "(none)";
}

bool Simulator::Available() {
  return !Env("KOVA_SIMULATOR_DIR").empty() && !Env("KOVA_SIMULATOR_PORT").empty();
}

void Simulator::Script(const std::vector<Reply>& replies) {
  std::string json = "[";
  for (const Reply& r : replies) {
    if (json.size() > 1) json += ",";
    json += "{\"status\":" + std::to_string(r.status);
    if (!r.method.empty()) json += ",\"method\":" + Json(r.method);
    if (!r.url.empty()) json += ",\"url\":" + Json(r.url);
    json += ",\"headers\":[";
    for (size_t i = 0; i < r.headers.size(); ++i) {
      json += (i ? ",[" : "[") + Json(r.headers[i].first) + "," + Json(r.headers[i].second) + "]";
    }
    json += "],\"body\":" + Json(r.body);
    if (r.delay > 0) json += ",\"delay\":" + std::to_string(r.delay);
    if (!r.action.empty()) json += ",\"action\":" + Json(r.action);
    if (r.times >= 0) json += ",\"times\":" + std::to_string(r.times);
    json += "}";
  }
  json += "]";
  DeleteFileA(ControlFile("requests.log").c_str());
  // Written aside and renamed, so the simulator never reads half a script.
  const std::string staged = ControlFile("script.json.new");
  WriteWholeFile(staged, json);
  MoveFileExA(staged.c_str(), ControlFile("script.json").c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::vector<SeenRequest> Simulator::Requests() {
  std::string data;
  std::vector<SeenRequest> requests;
  if (!ReadWholeFile(ControlFile("requests.log"), &data)) return requests;
  const std::string marker = "--- request ";
  size_t at = 0;
  while (data.compare(at, marker.size(), marker) == 0) {
    size_t line_end = data.find('\n', at);
    if (line_end == std::string::npos) break;
    unsigned number = 0;
    unsigned long length = 0;
    if (std::sscanf(data.c_str() + at + marker.size(), "%u %lu", &number, &length) != 2) break;
    std::string raw = data.substr(line_end + 1, length);
    at = line_end + 1 + length + 1;
    SeenRequest seen;
    size_t head_end = raw.find("\r\n\r\n");
    std::string head = raw.substr(0, head_end);
    seen.body = head_end == std::string::npos ? std::string() : raw.substr(head_end + 4);
    size_t start = 0;
    while (start <= head.size()) {
      size_t end = head.find("\r\n", start);
      if (end == std::string::npos) end = head.size();
      std::string line = head.substr(start, end - start);
      if (start == 0) {
        seen.request_line = line;
      } else if (!line.empty()) {
        seen.header_lines.push_back(line);
      }
      start = end + 2;
    }
    requests.push_back(seen);
  }
  return requests;
}

// The user's proxy setting in the registry, which WinINet reads whenever an
// internet handle opens, wins over the http_proxy variable.
ScopedProxy::ScopedProxy(const std::string& proxy) {
  RegCreateKeyExA(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                  &key_, nullptr);
  DWORD size = sizeof enable_;
  had_enable_ = RegQueryValueExA(key_, "ProxyEnable", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(&enable_), &size) == ERROR_SUCCESS;
  char server[1024];
  size = sizeof server;
  had_server_ = RegQueryValueExA(key_, "ProxyServer", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(server), &size) == ERROR_SUCCESS;
  if (had_server_) server_.assign(server, size);
  DWORD on = 1;
  RegSetValueExA(key_, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
  RegSetValueExA(key_, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(proxy.c_str()),
                 static_cast<DWORD>(proxy.size() + 1));
}

ScopedProxy::~ScopedProxy() {
  if (had_enable_) {
    RegSetValueExA(key_, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable_),
                   sizeof enable_);
  } else {
    RegDeleteValueA(key_, "ProxyEnable");
  }
  if (had_server_) {
    RegSetValueExA(key_, "ProxyServer", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(server_.data()),
                   static_cast<DWORD>(server_.size()));
  } else {
    RegDeleteValueA(key_, "ProxyServer");
  }
  RegCloseKey(key_);
}

}  // namespace test
}  // namespace kova

#include "support/engine_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/app_frame.h"
#include "app/util.h"

namespace fs = std::filesystem;

namespace orvex::test {

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "orvex-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

void TempDir::write(const std::string& name, const std::string& content) const {
  std::ofstream f(fs::path(path_) / name, std::ios::binary);
  f << content;
}

void TempDir::writeSize(const std::string& name, size_t size) const {
  write(name, std::string(size, 'x'));
}

std::string TempDir::read(const std::string& name) const {
  std::ifstream f(fs::path(path_) / name, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

bool TempDir::exists(const std::string& name) const {
  std::error_code ec;
  return fs::exists(fs::path(path_) / name, ec);
}

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

Upgrader& EngineTest::make(Config cfg) {
  if (cfg.homeFolder.empty()) cfg.homeFolder = home.path();
  up = std::make_unique<Upgrader>(p, std::move(cfg));
  if (p.ftpClient) p.ftpClient->localFolder = home.path() + "/";
  return *up;
}

Upgrader& EngineTest::start(Config cfg) {
  make(std::move(cfg));
  up->app.Form_Load();
  return *up;
}

Upgrader& EngineTest::startWithImage() {
  home.writeSize("orvex_5_1_0_12.bin", 10);
  Config cfg;
  cfg.modemAddress = "127.0.0.9";
  return start(cfg);
}

std::vector<std::string> EngineTest::logLines() const {
  const auto files = FindFiles(home.path() + "/logs", "*.txt");
  if (files.empty()) return {};
  std::ifstream f(fs::path(home.path()) / "logs" / files.front(), std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return SplitCrLf(ss.str());
}

bool EngineTest::logHas(const std::string& text) const {
  for (const auto& line : logLines())
    if (EndsWith(line, text)) return true;
  return false;
}

}  // namespace orvex::test

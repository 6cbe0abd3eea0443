// A home folder in a fresh temporary directory and an upgrader on the fake
// platform, for tests that drive the engine.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/upgrader.h"
#include "support/fake_platform.h"

namespace orvex::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // Writes a file of `size` bytes (or with the given content) under the folder.
  void write(const std::string& name, const std::string& content) const;
  void writeSize(const std::string& name, size_t size) const;
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;

 private:
  std::string path_;
};

// Splits a file's text at CR LF.
std::vector<std::string> SplitCrLf(const std::string& text);

class EngineTest : public ::testing::Test {
 protected:
  // Creates the upgrader for the home folder (call after placing files).
  Upgrader& make(Config cfg = {});
  // make() and Form_Load().
  Upgrader& start(Config cfg = {});
  // Places the main image and starts against a terminal on 127.0.0.9.
  Upgrader& startWithImage();
  // The lines of the one log file in home/logs (empty when none).
  std::vector<std::string> logLines() const;
  // True when some log line ends with this text.
  bool logHas(const std::string& text) const;

  TempDir home;
  FakePlatform p;
  std::unique_ptr<Upgrader> up;
};

}  // namespace orvex::test

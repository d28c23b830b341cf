// Test fixture shared by every suite: a fresh scratch directory as working
// directory, fresh state groups, no pauses, and helpers to catch an error
// stop and read what it wrote.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "runctl/error_stop.h"

std::vector<std::string> SplitLines(const std::string& text);

// The content of the error-message file after a stop on bad data.
std::string DataErrorText(const std::string& message, const std::string& dataset);

class PedkinTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  static void ResetState();

  static void WriteFile(const std::string& name, const std::string& content);
  static std::string ReadFile(const std::string& name);
  static bool Exists(const std::string& name);

  // Runs fn, which must end in an error stop; returns the content of the
  // error-message file (empty when fn returned without stopping, which
  // also fails the test).
  static std::string ExpectStop(const std::function<void()>& fn, int32_t* code = nullptr);

  // Writes a project file and takes it through reading, preparation and
  // the likelihood set-up, quietly.
  static void PrepareProject(const std::string& name, const std::string& text);

  // Log likelihood of the families of the given offspring, scored afresh
  // as one cluster by the engine.
  static double ClusterLogL(const std::vector<int16_t>& members);

  static std::string SourceDir();

  std::filesystem::path scratch_;
  std::filesystem::path previous_;
};

// Shared by the Wine tests: every test drives the built plug-in through its
// exports in the test host, freshly loaded for each test.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tools/plugin_host/plugin_host.h"

// The plug-in under test, from --plugin=PATH.
const std::string& PluginPath();

// A hidden dialog whose procedure handles nothing: what the system answers
// by default, to compare the plug-in's windows with.
HWND CreatePlainDialog();

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(host.Load(PluginPath(), &error)) << error;
    }
    // Under Wine's heap checking (as make test runs) freed blocks are filled
    // and checked: one written after it was freed fails the test here.
    void TearDown() override {
        EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr)) << "the process heap is damaged";
    }

    PluginHost host;
};

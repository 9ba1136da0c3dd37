// The three ways the plug-in reaches the host. Called on the host's thread;
// each callback runs synchronously and may re-enter the plug-in's exports.
// A callback the host has not handed over is not called.
#pragma once

#include <string>

// Hands the host copies of both texts; an empty text goes over as null.
void SetHostVariable(const std::string& name, const std::string& value);

// Has the host run one line of its script (no line end is added).
void RunHostScriptCommand(const std::string& line);

// Replaces a text the host keeps: frees the variable's old block, then stores
// a new GPTR block holding the text, or null for an empty text. The host owns
// the block from then on. A null variable address is skipped.
void SetHostText(char** variable, const std::string& text);

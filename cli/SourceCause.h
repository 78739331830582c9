// How reelcast-cli tells a failure: every line after the program's name and the
// input's, the engine's own text first and then the cause the command line can
// see in the source.
#pragma once

#include <string>

#include "cli/Engine.h"

namespace reelcast::cli {

// What is wrong with the source, as a person would say it; empty when nothing
// is seen. `needsSound`: the mode writes MPEG files, which need both streams.
std::string SourceCause(const Engine& engine, const std::string& input, bool needsSound);

// Prints each line of text as "reelcast-cli: INPUT: line" on stderr.
void TellAbout(const std::string& input, const std::string& text);

// The engine's text, then the cause (when one is seen), both about the input.
void TellFailure(const Engine& engine, const std::string& input, const std::string& text, bool needsSound);

}  // namespace reelcast::cli

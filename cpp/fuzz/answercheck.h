#pragma once

// Checks on what the vote service sends: every answer and push it writes must be a frame the
// add-on reads completely, with a body of the layout its minor type names.

#include <cstdint>
#include <string>
#include <string_view>

namespace answercheck {

// Body of a vote message (major type 2500) of this minor type: decodes completely and uses every
// byte. False for a minor type the service never sends.
bool isWellFormedBody(std::uint32_t minType, const std::string& body);

// Describes the first problem with a stream-form frame (u32 length + frame), or returns nullptr.
const char* streamFrameProblem(std::string_view wire);

} // namespace answercheck

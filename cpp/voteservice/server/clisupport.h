#pragma once

// Pieces shared by the CLI11 command lines of quorix-voted and quorix-loadgen.

#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <string>

namespace quorix::service {

// Adds an option taking a decimal number from min to max: digits only, no sign, no other base.
// Anything else ends the parse with a CLI::ValidationError "NAME WANTS, got VALUE".
CLI::Option* addNumberOption(CLI::App& app, const std::string& name, std::uint64_t min, std::uint64_t max,
                             const std::string& wants, std::function<void(std::uint64_t)> store);

// The same, kept in target, whose value before the parse is shown as the default.
template <typename T>
CLI::Option* addNumberOption(CLI::App& app, const std::string& name, T& target, std::uint64_t min,
                             std::uint64_t max, const std::string& wants)
{
    CLI::Option* option = addNumberOption(app, name, min, max, wants,
                                          [&target](std::uint64_t value) { target = static_cast<T>(value); });
    option->default_str(std::to_string(target));
    return option;
}

// One line telling why app refused its command line. Words it did not expect are listed in the
// order given.
std::string refusalText(const CLI::App& app, const CLI::ParseError& error);

} // namespace quorix::service

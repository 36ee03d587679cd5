#include "voteservice/server/clisupport.h"

#include "voteservice/server/serveroptions.h"

namespace quorix::service {

CLI::Option* addNumberOption(CLI::App& app, const std::string& name, std::uint64_t min, std::uint64_t max,
                             const std::string& wants, std::function<void(std::uint64_t)> store)
{
    auto check = [name, min, max, wants, store = std::move(store)](const std::string& text) {
        std::uint64_t value = 0;
        if (!ServerOptions::parseNumber(text, max, value) || value < min)
            throw CLI::ValidationError(name + " " + wants + ", got " + text);
        store(value);
    };
    return app.add_option_function<std::string>(name, std::move(check))->type_name("N");
}

std::string refusalText(const CLI::App& app, const CLI::ParseError& error)
{
    if (dynamic_cast<const CLI::ExtrasError*>(&error) == nullptr)
        return error.what();
    std::string text = "unknown option or argument:";
    for (const std::string& word : app.remaining(true))
        text += " " + word;
    return text;
}

} // namespace quorix::service

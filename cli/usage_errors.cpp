// SPDX-License-Identifier: MIT
#include "cli/usage_errors.h"

#include <algorithm>

namespace corvel {

namespace {

// Optimal string alignment distance: insertions, deletions, changes and swaps of neighbours.
size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

// "pib check: " for that subcommand, "" for the program itself.
std::string commandPrefix(const CLI::App& app) {
    if (app.get_parent() == nullptr) return "";
    std::string path = app.get_name();
    for (const CLI::App* p = app.get_parent(); p->get_parent() != nullptr; p = p->get_parent())
        path = p->get_name() + " " + path;
    return path + ": ";
}

std::vector<std::string> subcommandNames(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::App* sub : app.get_subcommands({})) names.push_back(sub->get_name());
    return names;
}

// The options `app` takes, with those of its parents, which fall through to them.
std::vector<std::string> optionNames(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::App* a = &app; a != nullptr; a = a->get_parent())
        for (const CLI::Option* option : a->get_options()) {
            for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
            for (const std::string& name : option->get_snames()) names.push_back("-" + name);
        }
    return names;
}

std::string withSuggestion(std::string text, std::string_view word,
                           const std::vector<std::string>& candidates) {
    const std::string nearest = nearestWord(word, candidates);
    if (!nearest.empty()) text += "; did you mean '" + nearest + "'?";
    return text;
}

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
    return text;
}

// The word `app` did not take: an option of its own name ("--cycle=2" is "--cycle"), or the
// first argument it had no place for.
std::string unknownOption(const std::string& word) {
    return word.substr(0, word.find('='));
}

std::string extrasText(const CLI::App& where, const std::vector<std::string>& extras) {
    const std::string& word = extras.front();
    const std::string prefix = commandPrefix(where);
    if (word.size() > 1 && word[0] == '-') {
        const std::string option = unknownOption(word);
        const std::vector<std::string> known = optionNames(where);
        // Given before the command, where only the program's own options are read.
        if (!prefix.empty() && std::find(known.begin(), known.end(), option) != known.end())
            return "option '" + option + "' belongs to the command: give it after '" +
                   prefix.substr(0, prefix.size() - 2) + "'";
        return withSuggestion(prefix + "unknown option '" + option + "'", option, known);
    }
    if (!where.get_subcommands({}).empty())
        return withSuggestion(prefix + "unknown command '" + word + "'", word,
                              subcommandNames(where));
    return prefix + "unexpected argument '" + word + "'";
}

}  // namespace

const CLI::App* deepestSubcommand(const CLI::App& app) {
    for (const CLI::App* sub : app.get_subcommands())
        if (sub->parsed()) return deepestSubcommand(*sub);
    return &app;
}

std::string nearestWord(std::string_view word, const std::vector<std::string>& candidates) {
    std::string best;
    size_t bestDistance = 0;
    for (const std::string& candidate : candidates) {
        const size_t distance = editDistance(word, candidate);
        if (best.empty() || distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    // A slip of one or two keys in a word long enough that it still says what was meant: in a
    // word of one or two letters ("-x") a slip cannot be told from another word.
    const std::string_view letters = word.substr(std::min(word.find_first_not_of('-'), word.size()));
    if (letters.size() < 3) return "";
    const size_t allowed = std::min<size_t>(2, std::max<size_t>(1, letters.size() / 3));
    return !best.empty() && bestDistance <= allowed ? best : std::string();
}

std::string usageErrorText(const CLI::App& app, const CLI::ParseError& error) {
    const CLI::App& where = *deepestSubcommand(app);
    // Words no option or argument took, in the order they were typed; with fall-through they
    // may have ended at any level.
    std::vector<std::string> extras = app.remaining(true);
    if (!extras.empty() && (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr ||
                            dynamic_cast<const CLI::RequiredError*>(&error) != nullptr))
        return extrasText(where, extras);
    if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr &&
        where.get_require_subcommand_min() > 0 && where.get_subcommands().empty())
        return commandPrefix(where) + "no command given; one of: " + joined(subcommandNames(where));
    return commandPrefix(where) + error.what();
}

}  // namespace corvel

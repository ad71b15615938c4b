#include "common/command_line.hpp"

#include "common/fault.hpp"
#include "common/report.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <getopt.h>

namespace freqimg {
namespace {

// getopt_long reports an option by this value plus its index.
constexpr int first_option_value = 256;

// Says what getopt_long found wrong, in GNU's words: the Windows C
// runtime's getopt words it otherwise, so both keep quiet and this speaks.
void report_option_error(const char *arg, std::span<const long_option> options) {
    if (optopt >= first_option_value) {
        const long_option &o = options[static_cast<std::size_t>(optopt - first_option_value)];
        report_error(formatted(o.takes_value ? "option '--%s' requires an argument"
                                             : "option '--%s' doesn't allow an argument",
                               o.name));
    } else if (optopt > 0) { // there are no short options
        report_error("invalid option -- " +
                     quoted_value(std::string(1, static_cast<char>(optopt))));
    } else {
        // No two options begin alike, so none is ambiguous.
        report_error("unrecognized option " + quoted_value(arg));
    }
}

} // namespace

options_read read_options(const char *usage, int argc, char **argv,
                          std::span<const long_option> given,
                          const std::function<bool(std::size_t, const char *)> &take) {
    std::vector<long_option> options(given.begin(), given.end());
    const std::size_t help = options.size(), version = help + 1;
    options.push_back({"help", false});
    options.push_back({"version", false});
    std::vector<option> table;
    for (std::size_t i = 0; i < options.size(); ++i)
        table.push_back({options[i].name, options[i].takes_value ? required_argument : no_argument,
                         nullptr, first_option_value + static_cast<int>(i)});
    table.push_back({}); // the end of the table
    opterr = 0;
    // The leading ':' tells a missing value apart from an unknown option.
    for (int found; (found = getopt_long(argc, argv, ":", table.data(), nullptr)) != -1;) {
        auto index = static_cast<std::size_t>(found - first_option_value);
        if (found >= first_option_value && (index == help || index == version)) {
            return {
                0, write_output(index == help ? std::string(usage) : version_text(program_name()))};
        }
        if (found >= first_option_value && index < help) {
            if (take(index, optarg))
                continue;
            return {0, 2};
        }
        report_option_error(argv[optind - 1], options);
        return {0, usage_error(nullptr)};
    }
    return {optind, std::nullopt};
}

std::string version_text(const char *program) {
    return std::string(program) + " (freqimg) " FREQIMG_VERSION "\n"
                                  "Copyright (C) 2026 The freqimg authors\n"
                                  "License MIT: <https://opensource.org/licenses/MIT>\n"
                                  "This is free software: you are free to change and "
                                  "redistribute it.\n"
                                  "There is NO WARRANTY, to the extent permitted by law.\n";
}

int write_output(std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fclose(stdout) == 0)
        return 0;
    return report_write_error(errno);
}

bool parse_seconds(const char *text, unsigned &milliseconds) {
    constexpr unsigned long long most = 86'400'000; // a day, in milliseconds
    std::string_view given(text);
    std::size_t point = std::min(given.find('.'), given.size());
    std::string_view whole = given.substr(0, point), fraction = given.substr(point);
    fraction.remove_prefix(std::min<std::size_t>(1, fraction.size()));
    auto digits = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if ((whole.empty() && fraction.empty()) || !digits(whole) || !digits(fraction))
        return false;
    // Whole milliseconds, what is left of a millisecond, and how it rounds.
    unsigned long long seconds = 0;
    if (!whole.empty() &&
        std::from_chars(whole.data(), whole.data() + whole.size(), seconds).ec != std::errc())
        return false;
    std::string thousandths(fraction.substr(0, 3));
    thousandths.resize(3, '0');
    unsigned long long ms =
        seconds > most / 1000 ? most + 1 : seconds * 1000 + std::stoull(thousandths);
    std::string_view rest = fraction.substr(std::min<std::size_t>(3, fraction.size()));
    bool more = rest.find_first_not_of('0') != std::string_view::npos;
    if (ms < 1 || ms > most || (ms == most && more))
        return false;
    milliseconds = static_cast<unsigned>(ms + (!rest.empty() && rest[0] >= '5' ? 1 : 0));
    return true;
}

} // namespace freqimg

#include "command_line.hpp"

#include "fault.hpp"

#include <cerrno>
#include <cmath>
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
void report_option_error(const char *program, const char *arg,
                         std::span<const long_option> options) {
    if (optopt >= first_option_value) {
        const long_option &o = options[static_cast<std::size_t>(optopt - first_option_value)];
        std::fprintf(stderr,
                     o.takes_value ? "%s: option '--%s' requires an argument\n"
                                   : "%s: option '--%s' doesn't allow an argument\n",
                     program, o.name);
    } else if (optopt > 0) { // there are no short options
        std::fprintf(stderr, "%s: invalid option -- %s\n", program,
                     quoted_value(std::string(1, static_cast<char>(optopt))).c_str());
    } else {
        // No two options begin alike, so none is ambiguous.
        std::fprintf(stderr, "%s: unrecognized option %s\n", program, quoted_value(arg).c_str());
    }
}

} // namespace

std::optional<int> read_options(const char *program, const char *usage, int argc, char **argv,
                                std::span<const long_option> given,
                                const std::function<bool(std::size_t, const char *)> &take,
                                int &status) {
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
            status =
                write_output(program, index == help ? std::string(usage) : version_text(program));
            return std::nullopt;
        }
        if (found >= first_option_value && index < help) {
            if (take(index, optarg))
                continue;
            status = 2;
            return std::nullopt;
        }
        report_option_error(program, argv[optind - 1], options);
        status = usage_error(program, nullptr);
        return std::nullopt;
    }
    return optind;
}

int usage_error(const char *program, const char *what, const char *arg) {
    if (what != nullptr && arg != nullptr)
        std::fprintf(stderr, "%s: %s %s\n", program, what, quoted_value(arg).c_str());
    else if (what != nullptr)
        std::fprintf(stderr, "%s: %s\n", program, what);
    std::fprintf(stderr, "Try '%s --help' for more information.\n", program);
    return 2;
}

std::string version_text(const char *program) {
    return std::string(program) + " (freqimg) " FREQIMG_VERSION "\n"
                                  "Copyright (C) 2026 The freqimg authors\n"
                                  "License MIT: <https://opensource.org/licenses/MIT>\n"
                                  "This is free software: you are free to change and "
                                  "redistribute it.\n"
                                  "There is NO WARRANTY, to the extent permitted by law.\n";
}

int write_output(const char *program, std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fclose(stdout) == 0)
        return 0;
    std::fprintf(stderr, "%s: write error: %s\n", program, std::strerror(errno));
    return 1;
}

bool parse_seconds(const char *text, unsigned &milliseconds) {
    char *end = nullptr;
    errno = 0;
    double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !(seconds >= 0.001 && seconds <= 86400))
        return false;
    milliseconds = static_cast<unsigned>(std::lround(seconds * 1000));
    return true;
}

} // namespace freqimg

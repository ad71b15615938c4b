// Random well-formed channel lists, for property tests: every form of white
// space, lower-case digits, every blank form, long labels, trailing tokens.
#pragma once

#include <random>
#include <string>

namespace freqimg_test {

struct random_list {
    std::string text;
    std::string tx, rx; // the strips freqimg must make of it
};

inline random_list make_random_list(std::mt19937 &rng) {
    auto pick = [&rng](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    static constexpr const char *spaces[] = {" ", "\t", "\n", "\r\n", "\f", "\v", "  \t", "\n\n"};
    static constexpr const char *blanks[] = {"-", "--", "-1", "-spare", "-476425"};
    static constexpr const char *labels[] = {"Home",   "Repeater-01", "\xC3\xA9t\xC3\xA9", "x", "-",
                                             "476425", "\"quoted\"",  "very-long-label"};
    random_list list;
    auto space = [&] { return std::string(spaces[pick(8)]); };
    auto label = [&] {
        std::string l = labels[pick(8)];
        return pick(8) == 0 ? l + std::string(pick(300), 'L') : l;
    };
    auto entry = [&](std::string &strip) {
        if (pick(4) == 0) {
            strip += "C76425";
            return std::string(blanks[pick(5)]);
        }
        std::string e;
        for (int i = 0; i < 6; ++i)
            e += "0123456789ABCDEFabcdef"[pick(pick(3) == 0 ? 22 : 10)];
        strip += e;
        return e;
    };
    list.text = (pick(2) ? space() : "") + label() + space() + label() + space() + label();
    for (int row = 1; row <= 20; ++row) {
        list.text += space() + label() + space() + entry(list.tx);
        list.text += space() + entry(list.rx);
    }
    for (std::size_t extra = pick(4); extra > 0; --extra)
        list.text += space() + label();
    if (pick(2))
        list.text += space();
    return list;
}

} // namespace freqimg_test

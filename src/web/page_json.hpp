// JSON text for the page's answers: arrays and objects built in order, and
// any text as a JSON string, with bytes that are no UTF-8 shown as U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace freqimg {

// Returns `text` as a JSON string, quotes included.
std::string json_string(std::string_view text);

class json_array {
  public:
    void add(std::string_view json) {
        out_ += out_.size() > 1 ? "," : "";
        out_ += json;
    }
    void add_text(std::string_view text) { add(json_string(text)); }
    std::string done() { return out_ + "]"; }

  private:
    std::string out_ = "[";
};

class json_object {
  public:
    void add(std::string_view key, std::string_view json) {
        out_ += out_.size() > 1 ? "," : "";
        out_.append(json_string(key)).append(":").append(json);
    }
    void add_text(std::string_view key, std::string_view text) { add(key, json_string(text)); }
    std::string done() { return out_ + "}"; }

  private:
    std::string out_ = "{";
};

} // namespace freqimg

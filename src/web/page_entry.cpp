// The page's way into the commands' code: a few C functions the page's
// JavaScript calls, each returning its answer as JSON text (valid until
// the next call). The list, the stream and every message stay here; the
// JavaScript only shows them and moves bytes to and from the serial port.

#include "channels/freq_list.hpp"
#include "serial/line_transfer.hpp"
#include "stream/stream_input.hpp"
#include "stream/stream_report.hpp"
#include "stream/transfer_progress.hpp"
#include "web/list_document.hpp"
#include "web/page_json.hpp"
#include "web/web_line.hpp"

#include <emscripten.h>

#include <chrono>
#include <string>
#include <vector>

using namespace freqimg;

namespace {

list_document document;
list_check checked;
decoded_stream inspected;
std::vector<unsigned char> captured;
std::string answer;

EM_JS(void, show_progress, (std::size_t done, std::size_t total, const char *text),
      { Module.onProgress(done, total, UTF8ToString(text)); });

const char *give(std::string text) {
    answer = std::move(text);
    return answer.c_str();
}

std::string fields_json() {
    json_array fields;
    for (std::size_t i = 0; i < document_fields; ++i)
        fields.add_text(document.field(i));
    return fields.done();
}

// What freqimg-inspect says of `bytes` read from the file `name`: its
// messages, each as it prints them after its name, and its report.
std::string inspection(std::span<const unsigned char> bytes, const char *name) {
    json_array errors, warnings;
    std::string report;
    inspected = {};
    std::vector<fault> faults = check_stream_input(name, bytes, inspected);
    for (const fault &f : faults)
        errors.add_text(f.text);
    if (faults.empty()) {
        for (const warning &w : entry_warnings(inspected, stream_input_name(name)))
            warnings.add_text(w.line());
        report = stream_report(inspected);
    }
    json_object out;
    out.add("sound", faults.empty() ? "true" : "false");
    out.add("errors", errors.done());
    out.add("warnings", warnings.done());
    out.add_text("report", report);
    return out.done();
}

// Shows `done` bytes of a transfer in the page as the commands show it.
void progress(const transfer_text &words, std::size_t done) {
    show_progress(done, stream_size, words.progress(done).c_str());
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE const char *page_open_list(const char *text, std::size_t size) {
    document.open({text, size});
    return give(fields_json());
}

EMSCRIPTEN_KEEPALIVE const char *page_new_list() {
    document = list_document();
    return give(fields_json());
}

EMSCRIPTEN_KEEPALIVE const char *page_fields() {
    return give(fields_json());
}

EMSCRIPTEN_KEEPALIVE void page_set_field(std::size_t index, const char *text) {
    if (index < document_fields)
        document.set_field(index, text);
}

// Returns 1 when the field was written as the entry it spells.
EMSCRIPTEN_KEEPALIVE int page_settle_field(std::size_t index) {
    return index < document_fields && document.settle_field(index) ? 1 : 0;
}

// {"sound", "savable", "messages": [[field, error, text]...], "readings": [one for each field]}
EMSCRIPTEN_KEEPALIVE const char *page_check() {
    checked = document.check();
    json_array messages, readings;
    for (const field_message &m : checked.messages) {
        json_array one;
        one.add(std::to_string(m.field));
        one.add(m.error ? "true" : "false");
        one.add_text(m.text);
        messages.add(one.done());
    }
    for (std::size_t i = 0; i < document_fields; ++i)
        readings.add_text(i >= document_columns && i % document_columns != 0
                              ? field_reading(document.field(i))
                              : std::string());
    json_object out;
    out.add("sound", checked.sound ? "true" : "false");
    out.add("savable", checked.savable ? "true" : "false");
    out.add("messages", messages.done());
    out.add("readings", readings.done());
    return give(out.done());
}

// The stream of the last check that was sound, stream_size bytes.
EMSCRIPTEN_KEEPALIVE const unsigned char *page_stream() {
    return checked.sound ? checked.stream.bytes.data() : nullptr;
}

EMSCRIPTEN_KEEPALIVE std::size_t page_stream_size() {
    return checked.sound ? checked.stream.size : 0;
}

// The "freq.dat" text; its length is page_answer_size().
EMSCRIPTEN_KEEPALIVE const char *page_list_text() {
    return give(document.text());
}

EMSCRIPTEN_KEEPALIVE std::size_t page_answer_size() {
    return answer.size();
}

EMSCRIPTEN_KEEPALIVE const char *page_inspect(const unsigned char *bytes, std::size_t size,
                                              const char *name) {
    return give(inspection({bytes, size}, name));
}

// Takes the channels of the stream inspected last into the table, as
// freqimg-inspect --freq-list gives them: {"fields", "warning"}.
EMSCRIPTEN_KEEPALIVE const char *page_take_channels(const char *name) {
    document.open(freq_list_text(inspected));
    json_object out;
    out.add("fields", fields_json());
    warning w = freq_list_warning(inspected, stream_input_name(name));
    out.add_text("warning", w ? w.line() : std::string());
    return give(out.done());
}

// Sends `bytes` on the page's line at `baud`, as freqimg-send sends them:
// {"sent", "failure", "done"}.
EMSCRIPTEN_KEEPALIVE const char *page_send(const unsigned char *bytes, std::size_t size,
                                           unsigned long baud, const char *name) {
    web_line line;
    const unsigned timeout_ms = default_send_timeout_ms(size, baud);
    const transfer_text words{transfer_text::direction::sending, baud};
    const auto start = std::chrono::steady_clock::now();
    send_outcome sent = send_stream(line, {bytes, size}, baud, timeout_ms,
                                    [&words](std::size_t n) { progress(words, n); });
    json_object out;
    out.add("sent", std::to_string(sent.sent));
    out.add_text("failure", send_failure(name, sent, size, timeout_ms).text);
    out.add_text("done", words.last(size, seconds_since(start)));
    return give(out.done());
}

// Captures one stream from the page's line, as freqimg-inspect --save
// does from a line, and inspects it: {"size", "failure", "noise", and
// what page_inspect gives}.
EMSCRIPTEN_KEEPALIVE const char *page_capture(unsigned silence_ms, const char *name) {
    web_line line;
    const transfer_text words{transfer_text::direction::receiving, 0};
    stream_input in =
        capture_from_line(name, line, silence_ms, [&words](std::size_t n) { progress(words, n); });
    captured = std::move(in.bytes);
    json_object out;
    out.add("size", std::to_string(captured.size()));
    out.add_text("failure", in.failure.text);
    out.add_text("noise", in.noise ? in.noise.line() : std::string());
    // Checked as the file it is offered as.
    out.add("inspection", in.failure ? "null" : inspection(captured, "backup.bin"));
    return give(out.done());
}

EMSCRIPTEN_KEEPALIVE const unsigned char *page_captured() {
    return captured.data();
}

EMSCRIPTEN_KEEPALIVE std::size_t page_captured_size() {
    return captured.size();
}

} // extern "C"

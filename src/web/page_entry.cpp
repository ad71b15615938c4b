// The page's way into the commands' code: a few C functions the page's
// JavaScript binds once (web/page.js). Text and bytes come in as a pointer
// and a length into the module's heap; each answer is JSON text, or bytes
// whose length page_answer_size() gives, valid until the next call. The
// list, the streams and every message stay here; the JavaScript shows them
// and moves bytes between files, the module and the serial port.

#include "channels/freq_list.hpp"
#include "serial/line_transfer.hpp"
#include "stream/stream_compare.hpp"
#include "stream/stream_input.hpp"
#include "stream/stream_report.hpp"
#include "stream/transfer_progress.hpp"
#include "web/list_document.hpp"
#include "web/page_json.hpp"
#include "web/web_line.hpp"

#include <emscripten.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

using namespace freqimg;

namespace {

list_document document;
list_check checked;
decoded_stream inspected;
std::vector<unsigned char> captured;
std::string answer;
std::size_t answer_size = 0;

EM_JS(void, show_progress, (std::size_t done, std::size_t total, const char *text),
      { Module.onProgress(done, total, UTF8ToString(text)); });

const char *give(std::string json) {
    answer = std::move(json);
    answer_size = answer.size();
    return answer.c_str();
}

const unsigned char *give_bytes(const unsigned char *bytes, std::size_t size) {
    answer_size = size;
    return bytes;
}

const unsigned char *give_bytes(std::string text) {
    answer = std::move(text);
    return give_bytes(reinterpret_cast<const unsigned char *>(answer.data()), answer.size());
}

std::string_view text_of(const char *text, std::size_t size) {
    return {text, size};
}

const char *truth(bool b) {
    return b ? "true" : "false";
}

std::string fields_json() {
    json_array fields;
    for (std::size_t i = 0; i < document_fields; ++i)
        fields.add_text(document.field(i));
    json_object out;
    out.add("fields", fields.done());
    out.add_text("encoding", document.encoding() == text_encoding::utf8 ? "UTF-8" : "Windows-1252");
    return out.done();
}

// Channels in use and blank, as a stream that decoded without a fault
// holds them.
void count_channels(const decoded_stream &stream, json_object &out) {
    std::size_t blank = 0;
    for (std::size_t n = 0; n < channel_count; ++n)
        blank += is_blank_entry(window_entry_text(stream, tx_window_base, n).view()) &&
                 is_blank_entry(window_entry_text(stream, rx_window_base, n).view());
    out.add("inUse", std::to_string(channel_count - blank));
    out.add("blank", std::to_string(blank));
}

// What freqimg-inspect says of `bytes` read from the file `name`: its
// messages, each as it prints them after its name, and its report.
std::string inspection(std::span<const unsigned char> bytes, std::string_view name) {
    json_array errors, warnings;
    std::string report;
    inspected = {};
    const std::string path(name);
    std::vector<fault> faults = check_stream_input(path.c_str(), bytes, inspected);
    for (const fault &f : faults)
        errors.add_text(f.text);
    json_object out;
    if (faults.empty()) {
        for (const warning &w : entry_warnings(inspected, stream_input_name(path.c_str())))
            warnings.add_text(w.line());
        report = stream_report(inspected);
        count_channels(inspected, out);
    }
    out.add("sound", truth(faults.empty()));
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

// What the page needs to know of the list, the streams and the line once.
EMSCRIPTEN_KEEPALIVE const char *page_layout() {
    json_object names;
    names.add_text("list", freq_list_path);
    names.add_text("stream", "upload.bin");
    names.add_text("backup", "backup.bin");
    json_object out;
    out.add("rows", std::to_string(channel_count));
    out.add("columns", std::to_string(document_columns));
    out.add("streamSize", std::to_string(stream_size));
    out.add("streamLimit", std::to_string(stream_input_limit));
    out.add("listReadLimit", std::to_string(document_read_limit));
    out.add("silenceMs", "5000");
    out.add("names", names.done());
    return give(out.done());
}

EMSCRIPTEN_KEEPALIVE const char *page_new_list() {
    document = list_document();
    return give(fields_json());
}

EMSCRIPTEN_KEEPALIVE const char *page_open_list(const char *text, std::size_t size,
                                                const char *name, std::size_t name_size) {
    document.open(text_of(text, size), text_of(name, name_size));
    return give(fields_json());
}

EMSCRIPTEN_KEEPALIVE const char *page_open_csv(const char *text, std::size_t size, const char *name,
                                               std::size_t name_size) {
    document.open_csv(text_of(text, size), text_of(name, name_size));
    return give(fields_json());
}

EMSCRIPTEN_KEEPALIVE const char *page_set_field(std::size_t index, const char *text,
                                                std::size_t size) {
    if (index < document_fields)
        document.set_field(index, text_of(text, size));
    return give("{}");
}

// Cells copied from a spreadsheet, pasted into field `index`: {"fields", "encoding"}.
EMSCRIPTEN_KEEPALIVE const char *page_paste(std::size_t index, const char *text, std::size_t size) {
    if (index < document_fields)
        document.paste(index, text_of(text, size));
    return give(fields_json());
}

// {"settled": the field as its entry, or null when it spells none}.
EMSCRIPTEN_KEEPALIVE const char *page_settle_field(std::size_t index) {
    json_object out;
    bool settled = index < document_fields && document.settle_field(index);
    out.add("settled", settled ? json_string(document.field(index)) : "null");
    return give(out.done());
}

// {"sound", "savable", "messages": [[field, error, where, text]...],
// "readings": [one for each field], "inUse", "blank"}
EMSCRIPTEN_KEEPALIVE const char *page_check() {
    checked = document.check();
    json_array messages, readings;
    for (const field_message &m : checked.messages) {
        json_array one;
        one.add(std::to_string(m.field));
        one.add(truth(m.error));
        one.add_text(m.where);
        one.add_text(m.text);
        messages.add(one.done());
    }
    for (std::size_t i = 0; i < document_fields; ++i)
        readings.add_text(i >= document_columns && i % document_columns != 0
                              ? field_reading(document.field(i))
                              : std::string());
    json_object out;
    out.add("sound", truth(checked.sound));
    out.add("savable", truth(checked.savable));
    out.add("messages", messages.done());
    out.add("readings", readings.done());
    if (checked.sound)
        count_channels(decode_stream({checked.stream.bytes.data(), checked.stream.size}), out);
    return give(out.done());
}

// The stream of the last check that was sound; none otherwise.
EMSCRIPTEN_KEEPALIVE const unsigned char *page_stream() {
    return give_bytes(checked.stream.bytes.data(), checked.sound ? checked.stream.size : 0);
}

EMSCRIPTEN_KEEPALIVE const unsigned char *page_list_text() {
    return give_bytes(document.text());
}

EMSCRIPTEN_KEEPALIVE const unsigned char *page_list_csv() {
    return give_bytes(document.csv());
}

EMSCRIPTEN_KEEPALIVE std::size_t page_answer_size() {
    return answer_size;
}

EMSCRIPTEN_KEEPALIVE const char *page_inspect(const unsigned char *bytes, std::size_t size,
                                              const char *name, std::size_t name_size) {
    return give(inspection({bytes, size}, text_of(name, name_size)));
}

// Takes the channels of the stream inspected last into the table, as
// freqimg-inspect --freq-list gives them: {"fields", "encoding", "warning"}.
EMSCRIPTEN_KEEPALIVE const char *page_take_channels(const char *name, std::size_t name_size) {
    document.take(freq_list_text(inspected));
    std::string fields = fields_json();
    fields.pop_back(); // the closing brace: the object goes on
    warning w =
        freq_list_warning(inspected, stream_input_name(std::string(name, name_size).c_str()));
    json_object tail;
    tail.add_text("warning", w ? w.line() : std::string());
    return give(fields + "," + tail.done().substr(1));
}

// What the radio sent, `found`, against the stream meant for it:
// {"same", "lines"}, or {"errors"} when either is no sound stream.
EMSCRIPTEN_KEEPALIVE const char *page_compare(const unsigned char *meant, std::size_t meant_size,
                                              const unsigned char *found, std::size_t found_size) {
    decoded_stream expected, got;
    json_array errors, lines;
    for (const fault &f : check_stream_input("upload.bin", {meant, meant_size}, expected))
        errors.add_text(f.text);
    for (const fault &f : check_stream_input("backup.bin", {found, found_size}, got))
        errors.add_text(f.text);
    json_object out;
    std::string said = errors.done();
    if (said != "[]") {
        out.add("errors", said);
        return give(out.done());
    }
    comparison c = compare_streams(expected, got, "the table", "the radio");
    for (const std::string &line : c.lines)
        lines.add_text(line);
    out.add("same", truth(c.same));
    out.add("lines", lines.done());
    return give(out.done());
}

// Sends `bytes` on the page's line at `baud`, as freqimg-send sends them:
// {"sent", "failure", "done"}.
EMSCRIPTEN_KEEPALIVE const char *page_send(const unsigned char *bytes, std::size_t size,
                                           unsigned long baud, const char *name,
                                           std::size_t name_size) {
    web_line line;
    const std::string port(name, name_size);
    const unsigned timeout_ms = default_send_timeout_ms(size, baud);
    const transfer_text words{transfer_text::direction::sending, baud};
    const auto start = std::chrono::steady_clock::now();
    send_outcome sent = send_stream(line, {bytes, size}, baud, timeout_ms,
                                    [&words](std::size_t n) { progress(words, n); });
    json_object out;
    out.add("sent", std::to_string(sent.sent));
    out.add_text("failure", send_failure(port.c_str(), sent, size, timeout_ms).text);
    out.add_text("done", words.last(size, seconds_since(start)));
    return give(out.done());
}

// Captures one stream from the page's line, as freqimg-inspect --save
// does from a line, and inspects it: {"size", "failure", "noise", and
// what page_inspect gives}; the bytes are page_captured's.
EMSCRIPTEN_KEEPALIVE const char *page_capture(unsigned silence_ms, const char *name,
                                              std::size_t name_size) {
    web_line line;
    const std::string port(name, name_size);
    const transfer_text words{transfer_text::direction::receiving, 0};
    stream_input in = capture_from_line(port.c_str(), line, silence_ms,
                                        [&words](std::size_t n) { progress(words, n); });
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
    return give_bytes(captured.data(), captured.size());
}

} // extern "C"

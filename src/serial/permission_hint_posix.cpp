// The account files are read as text: getgrgid and getpwuid would need the
// C library's name services at run time, which a static command cannot load.
#include "serial/permission_hint.hpp"

#include "common/fault.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace freqimg {
namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t end; (end = text.find(separator)) != std::string_view::npos;
         text.remove_prefix(end + 1))
        parts.push_back(text.substr(0, end));
    parts.push_back(text);
    return parts;
}

bool is_number(std::string_view text, unsigned long value) {
    unsigned long n = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    return error == std::errc() && end == text.data() + text.size() && n == value;
}

// The fields of the entry of a colon-separated account file (/etc/group,
// /etc/passwd) whose third field, its id, is `id`; none when it has none.
std::vector<std::string> account(const char *file, unsigned long id) {
    std::string text;
    if (std::FILE *f = std::fopen(file, "re")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            text.append(buffer, n);
        std::fclose(f);
    }
    for (std::string_view line : split(text, '\n')) {
        std::vector<std::string_view> fields = split(line, ':');
        if (fields.size() < 4 || !is_number(fields[2], id))
            continue;
        std::vector<std::string> entry;
        entry.reserve(fields.size());
        for (std::string_view field : fields)
            entry.emplace_back(field);
        return entry;
    }
    return {};
}

} // namespace

std::string permission_hint(const char *path, const account_files &files) {
    struct stat info {};
    if (::stat(path, &info) != 0 || (info.st_mode & S_IRGRP) == 0 || info.st_gid == ::getegid())
        return {};
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    groups.resize(static_cast<std::size_t>(
        std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
    if (std::find(groups.begin(), groups.end(), info.st_gid) != groups.end())
        return {};
    std::vector<std::string> group = account(files.group, info.st_gid);
    if (group.empty())
        return {};
    std::vector<std::string> user = account(files.passwd, ::getuid());
    const std::string name = user.empty() ? "$USER" : quoted_name(user[0]);
    const std::string shown_group = quoted_name(group[0]);
    std::vector<std::string_view> members = split(group[3], ',');
    bool member =
        !user.empty() && (is_number(user[3], info.st_gid) ||
                          std::find(members.begin(), members.end(), user[0]) != members.end());
    std::string hint = "; " + quoted_name(path) + " belongs to group " + shown_group;
    if (member)
        return hint + ", and " + name + "'s membership takes effect at the next login: log in " +
               "again, or run 'newgrp " + shown_group + "'";
    return hint + ": add yourself with 'sudo usermod -aG " + shown_group + " " + name +
           "' and log in again";
}

} // namespace freqimg

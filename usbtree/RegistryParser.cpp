#include "usbtree/RegistryParser.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <unordered_map>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "usbtree/USBTree.h"

extern char** environ;

namespace {

const char* const kNodeMarker = "+-o";
const size_t kReadChunk = 1024;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The leftmost match of the ECMAScript pattern "\S*," without its comma: the first run of
// non-blank characters that holds a comma, up to the last comma of that run (the star is greedy).
// Scanned by hand so that a long line cannot exhaust the regex engine's recursion, and once: each
// character is looked at one time, however long the line.
std::string registryClass(const std::string& line)
{
    size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && isBlank(line[pos]))
            ++pos;
        size_t end = pos;
        size_t comma = std::string::npos;
        for (; end < line.size() && !isBlank(line[end]); ++end) {
            if (line[end] == ',')
                comma = end;
        }
        if (comma != std::string::npos)
            return line.substr(pos, comma - pos);
        pos = end;
    }
    return std::string();
}

std::string entryName(const std::string& key)
{
    const std::string beforeAt = stdStringSpliter(key, "@").front();
    const size_t marker = beforeAt.find(kNodeMarker);
    const size_t start = marker == std::string::npos ? std::string::npos : marker + 4;
    return start < beforeAt.size() ? beforeAt.substr(start) : std::string();
}

// The property text of a line: from its first double quote on, every double quote removed.
std::string propertyText(const std::string& line)
{
    const size_t quote = line.find('"');
    if (quote == std::string::npos)
        return std::string();
    std::string text = line.substr(quote);
    text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
    return text;
}

// The root hubs in the order of their lines. A replaced subtree's hubs are struck out where they
// stand, found by their place: a replacement costs its own subtree, not a pass over every hub.
class RootHubs
{
public:
    void add(USBTree* hub)
    {
        m_places[hub] = m_hubs.size();
        m_hubs.push_back(hub);
    }

    // Call before the subtree is released: a later node may get a released node's address.
    void forget(USBTree* node)
    {
        const auto place = m_places.find(node);
        if (place != m_places.end()) {
            m_hubs[place->second] = nullptr;
            m_places.erase(place);
        }
        for (const auto& child : node->children)
            forget(child.second);
    }

    // "PortNum" 0, 1, ... for the hubs still in the tree.
    void number() const
    {
        size_t port = 0;
        for (USBTree* hub : m_hubs) {
            if (hub)
                hub->properties["PortNum"] = std::to_string(port++);
        }
    }

private:
    std::vector<USBTree*> m_hubs;
    std::unordered_map<const USBTree*, size_t> m_places;
};

} // namespace

bool openProcess(const char* command, std::string* output)
{
    if (!command)
        return false;
    std::vector<std::string> words;
    {
        std::string word;
        for (const char* c = command; *c; ++c) {
            if (*c == ' ' || *c == '\t') {
                if (!word.empty())
                    words.push_back(word);
                word.clear();
            } else {
                word += *c;
            }
        }
        if (!word.empty())
            words.push_back(word);
    }
    if (words.empty())
        return false;
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    // Like every program we start: a process group of its own and nothing to read.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return false;
    }

    char chunk[kReadChunk];
    for (;;) {
        const ssize_t got = read(fds[0], chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        if (output)
            output->append(chunk, static_cast<size_t>(got));
    }
    close(fds[0]);

    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            status = -1;
            break;
        }
    }
    if (status == 0)
        return true;
    std::printf("pclose error => cmd(%s) code=%d\n", command, status);
    std::fflush(stdout);
    return false;
}

std::vector<std::string> stdStringSpliter(const std::string& text, const std::string& delimiter)
{
    std::vector<std::string> pieces;
    if (delimiter.empty()) {
        pieces.push_back(text);
        return pieces;
    }
    size_t start = 0;
    size_t found = text.find(delimiter, delimiter.size());
    while (found != std::string::npos) {
        pieces.push_back(text.substr(start, found - start));
        start = found + delimiter.size();
        found = text.find(delimiter, start);
    }
    pieces.push_back(start < text.size() ? text.substr(start) : std::string());
    return pieces;
}

USBTree* parseUsbTree(const std::string& text)
{
    USBTreePtr top(new USBTree);
    top->name = "MainRoot";
    top->klass = "Root";
    top->depth = -1;

    const std::vector<std::string> lines = stdStringSpliter(text, "\n");
    std::vector<USBTree*> ancestors{top.get()};
    RootHubs rootHubs;
    int32_t lastDepth = top->depth;

    size_t index = 0;
    for (;;) {
        while (index < lines.size() && lines[index].find(kNodeMarker) == std::string::npos)
            ++index;
        if (index >= lines.size())
            break;
        const std::string& line = lines[index];

        USBTreePtr node(new USBTree);
        node->klass = registryClass(line);
        std::string key = stdStringSpliter(line, "<").front();
        key.resize(key.size() >= 2 ? key.size() - 2 : 0);
        node->name = entryName(key);
        node->depth = static_cast<int32_t>(line.find(kNodeMarker) / 2);

        // The line after the node line opens the property block.
        index += 2;
        while (index < lines.size()) {
            const std::vector<std::string> pieces = stdStringSpliter(propertyText(lines[index]), " = ");
            ++index;
            if (pieces.size() != 2)
                break;
            node->properties[pieces[0]] = pieces[1];
        }

        const int32_t rise = lastDepth - node->depth;
        int32_t pops = rise < 0 ? 0 : rise == 0 ? 1 : rise + 1;
        while (pops-- > 0 && !ancestors.empty())
            ancestors.pop_back();
        if (ancestors.empty())
            continue;

        USBTree* parent = ancestors.back();
        auto slot = parent->children.find(key);
        if (slot != parent->children.end()) {
            rootHubs.forget(slot->second);
            freeUsbTree(slot->second);
            parent->children.erase(slot);
        }
        USBTree* attached = node.release();
        attached->parent = parent;
        parent->children.emplace(key, attached);
        ancestors.push_back(attached);
        lastDepth = attached->depth;
        if (attached->klass == "IOUSBRootHubDevice")
            rootHubs.add(attached);
    }

    USBTree* result = top.get();
    if (top->children.size() == 1) {
        result = top->children.begin()->second;
        result->parent = nullptr;
        top->children.clear();
        top.reset();
    } else {
        top.release();
    }
    rootHubs.number();
    return result;
}

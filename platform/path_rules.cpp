#include "platform/path_rules.h"

#include "platform/text_rules.h"

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

std::string WithBackslashes(const std::string& path) {
    std::string unified = path;
    for (char& c : unified) {
        if (c == '/') c = '\\';
    }
    return unified;
}

std::string WithTrailingBackslash(const std::string& folder) {
    if (!folder.empty() && folder.back() == '\\') return folder;
    return folder + '\\';
}

std::string WithoutTrailingBackslashes(const std::string& path) {
    size_t length = path.size();
    while (length > 0 && path[length - 1] == '\\') --length;
    return path.substr(0, length);
}

bool MakePlanBase(const std::string& folder, std::string& base) {
    std::string made = WithTrailingBackslash(folder.substr(0, kMaxPathText));
    if (made.size() > kMaxPathText) return false;
    base = made;
    return true;
}

std::vector<std::string> SplitPathComponents(const std::string& path,
                                             LeadBytePredicate isLeadByte) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (isLeadByte != nullptr && isLeadByte(c) && i + 1 < path.size()) {
            parts.back() += path[i];
            parts.back() += path[++i];
        } else if (c == '\\') {
            parts.emplace_back();
        } else {
            parts.back() += static_cast<char>(c);
        }
    }
    return parts;
}

bool IsContainedRelativePath(const std::string& relative, LeadBytePredicate isLeadByte) {
    if (relative.empty() || IsPathSeparator(relative[0])) return false;
    int depth = 0;
    std::string component;
    auto endComponent = [&]() {
        if (component == "..") {
            if (--depth < 0) return false;
        } else if (!component.empty() && component != ".") {
            ++depth;
        }
        // Names that Windows trims to ".." ("..." or ".. ") are refused outright.
        if (component.size() > 2 && component.find_first_not_of(". ") == std::string::npos)
            return false;
        component.clear();
        return true;
    };
    for (size_t i = 0; i < relative.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(relative[i]);
        if (isLeadByte != nullptr && isLeadByte(c) && i + 1 < relative.size()) {
            component += relative[i];
            component += relative[++i];
            continue;
        }
        // A colon names a drive, a device or an alternate data stream.
        if (c < 0x20 || c == ':') return false;
        if (IsPathSeparator(static_cast<char>(c))) {
            if (!endComponent()) return false;
        } else {
            component += static_cast<char>(c);
        }
    }
    return endComponent();
}

bool IsPlainRelativePath(const std::string& path, LeadBytePredicate isLeadByte) {
    if (!IsContainedRelativePath(path, isLeadByte)) return false;
    std::vector<std::string> parts = SplitPathComponents(WithBackslashes(path), isLeadByte);
    for (size_t i = 0; i < parts.size(); ++i) {
        bool last = i + 1 == parts.size();
        if (parts[i].empty() && !last) return false;
        // Wine's join reads "..a" as ".." and "a" (and would leave the folder).
        if (parts[i].size() > 2 && parts[i].compare(0, 2, "..") == 0) return false;
        if (last && (parts[i] == "." || parts[i] == "..")) return false;
        if (last && parts[i].empty() && i > 0 && (parts[i - 1] == "." || parts[i - 1] == "..")) {
            return false;
        }
    }
    return true;
}

bool JoinContainedPath(const std::string& folder, const std::string& name, std::string& out,
                       LeadBytePredicate isLeadByte) {
    // The folder is kept as it stands; only the name's components are
    // resolved (containment guarantees that ".." never climbs above it).
    std::vector<std::string> kept;
    std::vector<std::string> parts = SplitPathComponents(name, isLeadByte);
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (part == ".") continue;
        if (part == "..") {
            if (!kept.empty()) kept.pop_back();
            continue;
        }
        kept.push_back(part);
    }
    std::string joined = folder;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i > 0) joined += '\\';
        joined += kept[i];
    }
    if (joined.size() > kMaxPathText) return false;
    out = joined;
    return true;
}

std::string LastPathComponent(const std::string& name, LeadBytePredicate isLeadByte) {
    size_t start = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (isLeadByte != nullptr && isLeadByte(c) && i + 1 < name.size()) {
            ++i;
        } else if (IsPathSeparator(static_cast<char>(c))) {
            start = i + 1;
        }
    }
    return name.substr(start);
}

std::string FolderOfPath(const std::string& path, LeadBytePredicate isLeadByte) {
    size_t name = path.size() - LastPathComponent(path, isLeadByte).size();
    return name == 0 ? std::string() : path.substr(0, name - 1);
}

bool FinalPathLiesInside(const std::string& finalPath, const std::string& folder, bool orSame) {
    const std::string inside = WithoutTrailingBackslashes(folder);
    if (!StartsWithIgnoringCase(finalPath, inside)) return false;
    if (finalPath.size() == inside.size()) return orSame;
    return finalPath[inside.size()] == '\\';
}

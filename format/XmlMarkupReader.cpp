#include "format/XmlMarkupReader.h"

namespace talvo::plistscan {

namespace {

constexpr std::size_t kNone = std::string_view::npos;

} // namespace

bool isXmlSpace(char character) {
    return character == ' ' || character == '\t' || character == '\r' || character == '\n';
}

bool XmlMarkupReader::halt(Stop why) {
    stop_ = why;
    return false;
}

void XmlMarkupReader::skipSpace() {
    while (at_ < text_.size() && isXmlSpace(text_[at_])) {
        ++at_;
    }
}

bool XmlMarkupReader::skipPast(std::string_view end, std::size_t from) {
    const auto found = text_.find(end, from);
    if (found == kNone) {
        return halt(Stop::notAPropertyList);
    }
    at_ = found + end.size();
    return true;
}

bool XmlMarkupReader::instruction() {
    for (auto position = at_; position + 2 <= text_.size();) {
        if (text_.compare(position, 2, "?>") == 0) {
            at_ = position + 2;
            return true;
        }
        if (text_[position] != '"') {
            ++position;
            continue;
        }
        position = text_.find('"', position + 1);
        if (position == kNone) {
            break;
        }
        ++position;
    }
    return halt(Stop::notAPropertyList);
}

// An internal subset, or markup characters in the declaration, are not followed: how far the
// library would skip then is not ours to guess.
bool XmlMarkupReader::documentType() {
    for (auto position = at_ + 8; position < text_.size(); ++position) {
        const char character = text_[position];
        if (character == '"') {
            const auto quote = text_.find('"', position + 1);
            if (quote == kNone) {
                break;
            }
            if (text_.substr(position, quote - position).find_first_of("<>") != kNone) {
                return halt(Stop::notFollowed);
            }
            position = quote;
        } else if (character == '[' || character == '<') {
            return halt(Stop::notFollowed);
        } else if (character == '>') {
            at_ = position + 1;
            return true;
        }
    }
    return halt(Stop::notAPropertyList);
}

std::optional<Tag> XmlMarkupReader::readTag() {
    const auto nameEnd = text_.find_first_of(" \r\n\t<>", at_);
    auto end = nameEnd;
    while (end < text_.size() && text_[end] != '<' && text_[end] != '>') {
        if (text_[end] == '"' && (end = text_.find('"', end + 1)) == kNone) {
            break;
        }
        ++end;
    }
    if (end >= text_.size() || text_[end] == '<') {
        halt(Stop::notAPropertyList);
        return std::nullopt;
    }
    auto name = text_.substr(at_, nameEnd - at_);
    const bool empty = text_[end - 1] == '/';
    if (empty && end - 1 - at_ < name.size()) {
        name = name.substr(0, end - 1 - at_);
    }
    at_ = end + 1;
    // The library copies names as C strings.
    if (name.find('\0') != kNone) {
        halt(Stop::notFollowed);
        return std::nullopt;
    }
    return Tag{name, empty};
}

bool XmlMarkupReader::readContent(std::string_view name, std::vector<ContentPart>& parts) {
    parts.clear();
    for (;;) {
        const auto open = text_.find('<', at_);
        if (open == kNone || open + 1 == text_.size()) {
            return halt(Stop::notAPropertyList);
        }
        parts.push_back({ContentPart::characters, text_.substr(at_, open - at_)});
        at_ = open + 1;
        if (text_[at_] == '/') {
            break;
        }
        if (text_[at_] != '!' || at_ + 2 >= text_.size()) {
            return halt(Stop::notAPropertyList);
        }
        if (text_[at_ + 1] == '-' && text_[at_ + 2] == '-') {
            if (!skipPast("-->", at_ + 3)) {
                return false;
            }
            parts.push_back({ContentPart::comment, {}});
            continue;
        }
        if (text_[at_ + 1] != '[' || at_ + 10 >= text_.size() ||
            text_.compare(at_ + 2, 6, "CDATA[") != 0) {
            return halt(Stop::notAPropertyList);
        }
        const auto body = at_ + 8;
        if (!skipPast("]]>", body)) {
            return false;
        }
        parts.push_back({ContentPart::section, text_.substr(body, at_ - 3 - body)});
    }
    ++at_;
    if (text_.size() - at_ <= name.size() || text_.compare(at_, name.size(), name) != 0) {
        return halt(Stop::notAPropertyList);
    }
    at_ += name.size();
    skipSpace();
    if (at_ == text_.size() || text_[at_] != '>') {
        return halt(Stop::notAPropertyList);
    }
    ++at_;
    return true;
}

} // namespace talvo::plistscan

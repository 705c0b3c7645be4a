// A small JSON reader for the tests, for what the authoring tool prints with --json.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace json {

struct Value {
    enum Type { NONE, BOOLEAN, NUMBER, TEXT, ARRAY, OBJECT } type = NONE;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Value> items;
    std::vector<std::pair<std::string, Value>> members;

    // A member or an item that is not there reads as a NONE value.
    const Value& operator[](const std::string& key) const
    {
        for (const auto& m : members)
            if (m.first == key)
                return m.second;
        return Missing();
    }
    const Value& operator[](size_t i) const { return i < items.size() ? items[i] : Missing(); }
    size_t size() const { return type == OBJECT ? members.size() : items.size(); }
    bool has(const std::string& key) const { return (*this)[key].type != NONE; }
    long long integer() const { return (long long)number; }
    static const Value& Missing()
    {
        static const Value none;
        return none;
    }
};

class Reader {
public:
    explicit Reader(const std::string& text) : s_(text), p_(0) {}
    bool Parse(Value& out, std::string& error)
    {
        if (!ParseValue(out, error))
            return false;
        Blanks();
        if (p_ != s_.size())
            return Fail(error, "text after the value");
        return true;
    }

private:
    bool Fail(std::string& error, const std::string& what)
    {
        error = what + " at offset " + std::to_string(p_);
        return false;
    }
    void Blanks()
    {
        while (p_ < s_.size() && (s_[p_] == ' ' || s_[p_] == '\n' || s_[p_] == '\r' || s_[p_] == '\t'))
            p_++;
    }
    bool Word(const char* word)
    {
        size_t n = std::string(word).size();
        if (s_.compare(p_, n, word) != 0)
            return false;
        p_ += n;
        return true;
    }
    static void Utf8(std::string& out, unsigned code)
    {
        if (code < 0x80) {
            out += (char)code;
        } else if (code < 0x800) {
            out += (char)(0xC0 | (code >> 6));
            out += (char)(0x80 | (code & 0x3F));
        } else {
            out += (char)(0xE0 | (code >> 12));
            out += (char)(0x80 | ((code >> 6) & 0x3F));
            out += (char)(0x80 | (code & 0x3F));
        }
    }
    bool ParseString(std::string& out, std::string& error)
    {
        if (p_ >= s_.size() || s_[p_] != '"')
            return Fail(error, "a string expected");
        p_++;
        while (p_ < s_.size() && s_[p_] != '"') {
            char c = s_[p_++];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (p_ >= s_.size())
                return Fail(error, "an unfinished escape");
            char e = s_[p_++];
            switch (e) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                if (p_ + 4 > s_.size())
                    return Fail(error, "a short \\u escape");
                Utf8(out, (unsigned)std::stoul(s_.substr(p_, 4), nullptr, 16));
                p_ += 4;
                break;
            }
            default: out += e; break;
            }
        }
        if (p_ >= s_.size())
            return Fail(error, "an unfinished string");
        p_++;
        return true;
    }
    bool ParseValue(Value& out, std::string& error)
    {
        Blanks();
        if (p_ >= s_.size())
            return Fail(error, "a value expected");
        char c = s_[p_];
        if (c == '{') {
            out.type = Value::OBJECT;
            p_++;
            Blanks();
            if (p_ < s_.size() && s_[p_] == '}')
                return ++p_, true;
            for (;;) {
                Blanks();
                std::pair<std::string, Value> member;
                if (!ParseString(member.first, error))
                    return false;
                Blanks();
                if (p_ >= s_.size() || s_[p_++] != ':')
                    return Fail(error, "a colon expected");
                if (!ParseValue(member.second, error))
                    return false;
                out.members.push_back(member);
                Blanks();
                if (p_ < s_.size() && s_[p_] == ',') {
                    p_++;
                    continue;
                }
                if (p_ < s_.size() && s_[p_] == '}')
                    return ++p_, true;
                return Fail(error, "a comma or } expected");
            }
        }
        if (c == '[') {
            out.type = Value::ARRAY;
            p_++;
            Blanks();
            if (p_ < s_.size() && s_[p_] == ']')
                return ++p_, true;
            for (;;) {
                Value item;
                if (!ParseValue(item, error))
                    return false;
                out.items.push_back(item);
                Blanks();
                if (p_ < s_.size() && s_[p_] == ',') {
                    p_++;
                    continue;
                }
                if (p_ < s_.size() && s_[p_] == ']')
                    return ++p_, true;
                return Fail(error, "a comma or ] expected");
            }
        }
        if (c == '"') {
            out.type = Value::TEXT;
            return ParseString(out.text, error);
        }
        if (Word("true") || Word("false")) {
            out.type = Value::BOOLEAN;
            out.boolean = s_[p_ - 1] == 'e' && s_[p_ - 2] == 'u';
            return true;
        }
        if (Word("null"))
            return true;
        size_t start = p_;
        while (p_ < s_.size() && (s_[p_] == '-' || s_[p_] == '+' || s_[p_] == '.' || s_[p_] == 'e' || s_[p_] == 'E' ||
                                  (s_[p_] >= '0' && s_[p_] <= '9')))
            p_++;
        if (start == p_)
            return Fail(error, "a value expected");
        out.type = Value::NUMBER;
        out.number = std::stod(s_.substr(start, p_ - start));
        return true;
    }
    const std::string& s_;
    size_t p_;
};

inline bool Parse(const std::string& text, Value& out, std::string& error)
{
    return Reader(text).Parse(out, error);
}

} // namespace json

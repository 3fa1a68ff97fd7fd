#pragma once
// An error whose message is exactly the text the user will see. The automation layer raises it
// and the program throws its own failures as the same type.

#include <exception>
#include <string>

class Error : public std::exception {
public:
    explicit Error(std::wstring message);
    const std::wstring& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    std::wstring message_;
    std::string utf8_;
};

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

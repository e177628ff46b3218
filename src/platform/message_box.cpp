#include "platform/message_box.h"

#include "platform/form.h"

namespace platform {

BoxStyle boxStyle(BoxKind kind, const std::string& applicationTitle) {
    switch (kind) {
    case BoxKind::Warning:
        return {"Warning", BoxIcon::Exclamation};
    case BoxKind::Error:
        return {"Error", BoxIcon::Stop};
    case BoxKind::Confirm:
        return {"Confirm", BoxIcon::Question};
    case BoxKind::Notice:
        break;
    }
    return {applicationTitle, BoxIcon::None};
}

BoxButtons boxButtons(unsigned buttons) {
    BoxButtons result{{}, 0, 0};
    if (buttons & ButtonYes) {
        result.answers.push_back(AnswerYes);
    }
    if (buttons & ButtonNo) {
        result.answers.push_back(AnswerNo);
    }
    if (buttons & ButtonOk) {
        result.answers.push_back(AnswerOk);
    }
    if (result.answers.empty()) {
        result.answers.push_back(AnswerOk); // a box always has a way out
    }
    const auto has = [&](int answer) {
        for (int a : result.answers) {
            if (a == answer) {
                return true;
            }
        }
        return false;
    };
    result.defaultAnswer = has(AnswerOk)    ? AnswerOk
                           : has(AnswerYes) ? AnswerYes
                                            : result.answers[0];
    result.escapeAnswer = has(AnswerNo) ? AnswerNo : has(AnswerOk) ? AnswerOk : 0;
    return result;
}

const char* buttonText(int answer) {
    switch (answer) {
    case AnswerYes:
        return "&Yes";
    case AnswerNo:
        return "&No";
    default:
        return "OK";
    }
}

namespace {

void wrapParagraph(const std::string& paragraph, int maxWidth, const TextWidth& width,
                   std::vector<std::string>& lines) {
    std::string line;
    std::size_t at = 0;
    while (at < paragraph.size()) {
        const std::size_t blank = paragraph.find(' ', at);
        const std::size_t end = blank == std::string::npos ? paragraph.size() : blank;
        const std::string word = paragraph.substr(at, end - at);
        const std::string joined = line.empty() ? word : line + " " + word;
        if (width(joined) <= maxWidth) {
            line = joined;
        } else {
            if (!line.empty()) {
                lines.push_back(line);
            }
            line.clear();
            // A word too wide on its own is cut where it stops fitting.
            for (char c : word) {
                if (!line.empty() && width(line + c) > maxWidth) {
                    lines.push_back(line);
                    line.clear();
                }
                line += c;
            }
        }
        at = end + (blank == std::string::npos ? 0 : 1);
    }
    lines.push_back(line);
}

} // namespace

std::vector<std::string> wrapText(const std::string& text, int maxWidth, const TextWidth& width) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (;;) {
        const std::size_t feed = text.find('\n', at);
        const std::size_t end = feed == std::string::npos ? text.size() : feed;
        wrapParagraph(text.substr(at, end - at), maxWidth, width, lines);
        if (feed == std::string::npos) {
            break;
        }
        at = feed + 1;
    }
    return lines;
}

std::string withPeriod(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
        return message + ".";
    }
    return message;
}

} // namespace platform

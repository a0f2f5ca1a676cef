#pragma once

#include "desktop/dialogs.h"

#include <deque>
#include <string>
#include <vector>

namespace tallybird::test {

// Dialogs that a test answers: every box is recorded, and the next answer
// comes from a queue (OK or Yes when it is empty).
class ScriptedDialogs final : public Dialogs {
public:
    struct Shown {
        std::string title;
        std::string text;
        DialogIcon icon;
        DialogButtons buttons;
        const QWidget* owner;
    };
    struct SaveRequest {
        std::string title;
        std::string proposedName;
        std::string filter;
    };

    std::vector<Shown> shown;
    std::deque<DialogAnswer> answers;
    std::vector<std::string> prompts; // "title: prompt" of each input box
    std::deque<std::optional<std::string>> inputs;
    std::vector<SaveRequest> saves;
    std::optional<std::filesystem::path> saveAnswer;

    DialogAnswer Message(QWidget* owner, const std::string& title, const std::string& text,
                         DialogIcon icon, DialogButtons buttons) override {
        shown.push_back({title, text, icon, buttons, owner});
        if (!answers.empty()) {
            const DialogAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return buttons == DialogButtons::YesNo ? DialogAnswer::Yes : DialogAnswer::Ok;
    }
    std::optional<std::string> InputText(QWidget*, const std::string& prompt,
                                         const std::string& title) override {
        prompts.push_back(title + ": " + prompt);
        if (inputs.empty()) {
            return std::nullopt;
        }
        auto input = inputs.front();
        inputs.pop_front();
        return input;
    }
    std::optional<std::filesystem::path> SaveFileName(QWidget*, const std::string& title,
                                                      const std::string& proposedName,
                                                      const std::string& filter) override {
        saves.push_back({title, proposedName, filter});
        return saveAnswer;
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Shown& box : shown) {
            texts.push_back(box.text);
        }
        return texts;
    }
};

} // namespace tallybird::test

// Counts the boxes titled `caption` while it lives, answering each with OK.
#pragma once
#include "support/test_env.h"

class BoxCounter {
public:
    explicit BoxCounter(const char* caption) : seen_(AnswerEveryBox(caption)) {}
    int count() const { return seen_->count; }
    const std::string& lastText() const { return seen_->text; }
    void reset() { seen_->count = 0; seen_->text.clear(); }
private:
    BoxAnswer* seen_;
};

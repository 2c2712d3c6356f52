#pragma once

#include "addins/addins_page.h"

#include <QDate>

#include <optional>

// Tab "自定义倒计时": the countdown's two lines of text and its target date and time, saved to
// "countdown.ini" by "确认", after which the countdown window loads them afresh.
class CustomCountdownPage final : public AddinsPage {
    Q_OBJECT
public:
    CustomCountdownPage(AppContext& context, QWidget* parent);

    // The load's step for this page: the boxes from "countdown.ini" (empty without one).
    void load();
    // The target date the boxes give, nothing when Text6 holds no valid date.
    std::optional<QDate> targetDate() const;

    void Command3_Click();

signals:
    // "确认" saved a new target date (or none).
    void targetDateSaved(std::optional<QDate> date);

private:
    QLabel* Label14 = nullptr;
    QLabel* Label15 = nullptr;
    QLabel* Label16 = nullptr;
    QLabel* Label17 = nullptr;
    QLabel* Label18 = nullptr;
    QLabel* Label19 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLineEdit* Text5 = nullptr;
    QLineEdit* Text6 = nullptr;
    QLineEdit* Text7 = nullptr;
    QPushButton* Command3 = nullptr;
};

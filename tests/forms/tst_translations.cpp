#include "forms/translations.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>

// The toolkit's own buttons speak Chinese, as the program does, under any desktop language.
class TestTranslations : public QObject {
    Q_OBJECT
private slots:
    void messageBoxButtonsAreChinese() {
        QVERIFY2(installToolkitTranslations(), "no Chinese translation of the toolkit installed");
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Dalvenor"), QStringLiteral("文本"),
                        QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
        QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));
    }
};

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"

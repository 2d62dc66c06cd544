#include "core/ErrorReport.h"
#include "support/ScriptedDialogs.h"
#include "support/TestEnvironment.h"
#include "util/AppError.h"

class TestErrorReport : public QObject {
    Q_OBJECT
private slots:
    void reportHasTheExactText()
    {
        QCOMPARE(ErrorReportText("File not found", FormLocation("PushButton2_Click"), 146),
                 QString("File not found\r\nin Pellmark2021/08/31.Form1.PushButton2_Click at line "
                         "146\r\rPlease email screenshot of this message to "
                         "support@brantwell.example"));
    }

    void failedStepReportsAndTheHandlerGoesOn()
    {
        ScriptedDialogs dialogs;
        StepRunner step(dialogs, FormLocation("Form_Load"));
        QStringList done;
        step(100, [&] { done << "100"; });
        step(102, [&] {
            throw AppError("Type mismatch");
            done << "never";
        });
        step(104, [&] { throw std::runtime_error("disk full"); });
        step(106, [&] { done << "106"; });
        step(108, [&] { throw 42; });

        QCOMPARE(done, QStringList({"100", "106"}));
        QCOMPARE(step.failures(), 3);
        QCOMPARE(dialogs.messages.size(), 3);
        const auto &first = dialogs.messages[0];
        QCOMPARE(first.title, QString("Application Error"));
        QCOMPARE(first.buttons, Dialogs::Buttons::Ok);
        QCOMPARE(first.icon, Dialogs::Icon::Exclamation);
        QVERIFY(first.text.startsWith("Type mismatch\r\nin Pellmark2021/08/31.Form1.Form_Load at line 102\r\r"));
        QVERIFY(dialogs.messages[1].text.startsWith("disk full\r\n"));
        QVERIFY(dialogs.messages[1].text.contains("at line 104\r\r"));
        QVERIFY(dialogs.messages[2].text.contains("at line 108\r\r"));
    }
};

TARNWICK_TEST_MAIN(TestErrorReport)
#include "test_error_report.moc"

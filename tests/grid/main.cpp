#include <QApplication>
#include <QtTest>

#include "ClipboardTest.h"
#include "DataGridTest.h"
#include "RecordCommandsTest.h"
#include "RecordsetEditTest.h"
#include "RecordsetModelTest.h"
#include "RecordsetViewTest.h"
#include "SearchCriterionTest.h"
#include "SearchDlgTest.h"

// One executable for the grid's test classes; each runs in turn and any failure fails the run.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failed = 0;
    {
        RecordsetModelTest t;
        failed += QTest::qExec(&t, argc, argv);
    }
    {
        DataGridTest t;
        failed += QTest::qExec(&t, argc, argv);
    }
    {
        RecordsetViewTest t;
        failed += QTest::qExec(&t, argc, argv);
    }
    {
        RecordsetEditTest t;
        failed += QTest::qExec(&t, argc, argv);
    }
    {
        RecordCommandsTest t;
        failed += QTest::qExec(&t, argc, argv);
    }
    {
        ClipboardTest t;
        failed += QTest::qExec(&t, argc, argv);
    }
    {
        SearchDlgTest t;
        failed += QTest::qExec(&t, argc, argv);
    }
    {
        SearchCriterionTest t;
        failed += QTest::qExec(&t, argc, argv);
    }
    return failed == 0 ? 0 : 1;
}

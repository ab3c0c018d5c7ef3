#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include "lang/LangText.h"

class LangTextTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_ini;

    void writeIni(const QByteArray& content) {
        QFile file(m_ini);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    CLangText lang(const QString& section) {
        CLangText l;
        l.SetIniFile(m_ini);
        l.SetSection(section);
        return l;
    }

private slots:
    void init() {
        QVERIFY(m_dir.isValid());
        m_ini = m_dir.filePath(QStringLiteral("DB_ML.ini"));
        QFile::remove(m_ini);
    }

    void missingFileSectionOrKeyYieldsKey() {
        CLangText fresh;  // no file, no section yet
        QCOMPARE(fresh.GetText("Open"), QString("Open"));
        QVERIFY(!fresh.SetIniFile(m_ini));  // the file does not exist
        QCOMPARE(fresh.IniFile(), m_ini);   // but the path is kept
        QVERIFY(fresh.SetSection("APP"));
        QCOMPARE(fresh.GetText("Open"), QString("Open"));
        QVERIFY(!fresh.SetSection(""));
        QVERIFY(!fresh.SetIniFile(""));

        writeIni("[APP]\nOpen=Ouvrir\n");
        CLangText l = lang("Menu");
        QCOMPARE(l.GetText("Open"), QString("Open"));  // wrong section
        l.SetSection("APP");
        QCOMPARE(l.GetText("Close"), QString("Close"));  // missing key
        QCOMPARE(l.GetText("Open"), QString("Ouvrir"));
        QCOMPARE(l.Result(), QString("Ouvrir"));
    }

    void sectionsAndKeysIgnoreCase() {
        writeIni("[Recordset View]\nDelete Record?=Datensatz l\xc3\xb6schen?\n");
        CLangText l = lang("RECORDSET view");
        QCOMPARE(l.GetText("delete record?"), QString::fromUtf8("Datensatz l\xc3\xb6schen?"));
    }

    void keyIsEverythingBeforeTheFirstEquals() {
        writeIni("[Menu]\n"
                 "Open(&O)...  Ctrl+O=\xc3\x96" "ffnen(&O)...  Strg+O\n"
                 "a=b=c\n"
                 "  Padded key   =  x\n"
                 "no equals sign here\n");
        CLangText l = lang("Menu");
        QCOMPARE(l.GetText("Open(&O)...  Ctrl+O"), QString::fromUtf8("\xc3\x96" "ffnen(&O)...  Strg+O"));
        // The blanks inside a key belong to it: one blank fewer is another key.
        QCOMPARE(l.GetText("Open(&O)... Ctrl+O"), QString("Open(&O)... Ctrl+O"));
        QCOMPARE(l.GetText("a"), QString("b=c"));
        QCOMPARE(l.GetText("a=b"), QString("a=b"));
        QCOMPARE(l.GetText("Padded key"), QString("x"));
        QCOMPARE(l.GetText("no equals sign here"), QString("no equals sign here"));
    }

    void valuesAreTrimmedAndUnquoted() {
        writeIni("[S]\n"
                 "plain=   spaced out \t \n"
                 "double=\"  keep inner blanks  \"\n"
                 "single='quoted'\n"
                 "mismatched=\"half'\n"
                 "inner=say \"hi\" now\n"
                 "lonely=\"\n"
                 "emptyquotes=\"\"\n");
        CLangText l = lang("S");
        QCOMPARE(l.GetText("plain"), QString("spaced out"));
        QCOMPARE(l.GetText("double"), QString("  keep inner blanks  "));
        QCOMPARE(l.GetText("single"), QString("quoted"));
        QCOMPARE(l.GetText("mismatched"), QString("\"half'"));
        QCOMPARE(l.GetText("inner"), QString("say \"hi\" now"));
        QCOMPARE(l.GetText("lonely"), QString("\""));
        // Quotes around nothing leave an empty value, and an empty value yields the key.
        QCOMPARE(l.GetText("emptyquotes"), QString("emptyquotes"));
    }

    void emptyValueYieldsKey() {
        writeIni("[Recordset View]\nDelete Record?=\nOther=   \n");
        CLangText l = lang("Recordset View");
        QCOMPARE(l.GetText("Delete Record?"), QString("Delete Record?"));
        QCOMPARE(l.GetText("Other"), QString("Other"));
    }

    void longTextsAreCutTo1023() {
        const QByteArray longValue(2000, 'v');
        writeIni("[S]\nk=" + longValue + "\n");
        CLangText l = lang("S");
        QCOMPARE(l.GetText("k"), QString(1023, 'v'));
        const QString longKey(1500, 'k');
        QCOMPARE(l.GetText(longKey), QString(1023, 'k'));
        // A cut never leaves half of a surrogate pair behind.
        const QString astral = QString(1022, 'a') + QString::fromUtf8("\xf0\x9f\x98\x80");
        QCOMPARE(l.GetText(astral), QString(1022, 'a'));
    }

    void fileIsReadAfreshAtEveryLookup() {
        writeIni("[APP]\nOpen=first\n");
        CLangText l = lang("APP");
        QCOMPARE(l.GetText("Open"), QString("first"));
        writeIni("[APP]\nOpen=second\n");
        QCOMPARE(l.GetText("Open"), QString("second"));
        QFile::remove(m_ini);
        QCOMPARE(l.GetText("Open"), QString("Open"));
    }

    void byteOrderMarkCrLfAndComments() {
        writeIni("\xef\xbb\xbf[APP]\r\n; Open=commented out\r\nClose=Fermer\r\n[Menu]\r\nClose=other\r\n");
        CLangText l = lang("APP");
        QCOMPARE(l.GetText("Close"), QString("Fermer"));
        QCOMPARE(l.GetText("; Open"), QString("; Open"));
        l.SetSection("Menu");  // switching sections on one object
        QCOMPARE(l.GetText("Close"), QString("other"));
    }

    void windowWalkTranslatesTitleAndDirectControls() {
        writeIni("[Dlg]\n"
                 "Find=Suchen\nFind what:=Suchen nach:\nOK=Gut\nMatch case=Gross/klein\n"
                 "Up=Auf\nDirection=Richtung\nKey in edit=Edit translated\nInner=Innen\n"
                 "Item A=Eintrag A\nItem B=Eintrag B\nTable1=Tabelle1\nHidden=Versteckt\n"
                 "File(&F)=Datei(&D)\n");
        QDialog dialog;
        dialog.setWindowTitle("Find");
        auto* label = new QLabel("Find what:", &dialog);
        auto* button = new QPushButton("OK", &dialog);
        auto* check = new QCheckBox("Match case", &dialog);
        auto* group = new QGroupBox("Direction", &dialog);
        auto* radio = new QRadioButton("Up", group);  // laid out inside the group box
        auto* keyEdit = new QLineEdit("Key in edit", &dialog);
        auto* userEdit = new QLineEdit("typed by the user", &dialog);
        auto* combo = new QComboBox(&dialog);
        combo->addItems({"Item A", "Item B"});
        combo->setCurrentIndex(1);
        auto* list = new QListWidget(&dialog);
        list->addItem("Table1");
        auto* emptyLabel = new QLabel(&dialog);
        // A control of our own is a leaf: what it holds is translated by itself.
        auto* custom = new QDialogButtonBox(&dialog);
        auto* hidden = new QLabel("Hidden", custom);
        auto* layoutBox = new QWidget(&dialog);  // a bare container only lays things out
        auto* inner = new QLabel("Inner", layoutBox);

        CLangText l = lang("dlg");
        QCOMPARE(l.TranslateWindow(&dialog), 0);
        QCOMPARE(dialog.windowTitle(), QString("Suchen"));
        QCOMPARE(label->text(), QString("Suchen nach:"));
        QCOMPARE(button->text(), QString("Gut"));
        QCOMPARE(check->text(), QString("Gross/klein"));
        QCOMPARE(group->title(), QString("Richtung"));
        QCOMPARE(radio->text(), QString("Auf"));
        QCOMPARE(keyEdit->text(), QString("Edit translated"));
        QCOMPARE(userEdit->text(), QString("typed by the user"));
        QCOMPARE(combo->itemText(0), QString("Eintrag A"));
        QCOMPARE(combo->currentIndex(), 1);
        QCOMPARE(combo->currentText(), QString("Eintrag B"));
        QCOMPARE(list->item(0)->text(), QString("Table1"));  // list boxes are never walked
        QCOMPARE(emptyLabel->text(), QString());
        QCOMPARE(hidden->text(), QString("Hidden"));
        QCOMPARE(inner->text(), QString("Innen"));
    }

    void windowWalkTranslatesTheMenuBar() {
        writeIni("[Menu]\nMain=Haupt\nFile(&F)=Datei(&D)\nExit(&X)=Beenden(&B)\n");
        QMainWindow frame;
        frame.setWindowTitle("Main");
        QMenu* file = frame.menuBar()->addMenu("File(&F)");
        QAction* exit = file->addAction("Exit(&X)");
        CLangText l = lang("Menu");
        l.TranslateWindow(&frame);
        QCOMPARE(frame.windowTitle(), QString("Haupt"));
        QCOMPARE(file->menuAction()->text(), QString("Datei(&D)"));
        QCOMPARE(exit->text(), QString("Beenden(&B)"));
    }

    void comboBoxKeepsSelectionAndItemData() {
        writeIni("[S]\nRed=Rot\nGreen=Gruen\nBlue=Blau\n");
        CLangText l = lang("S");

        QComboBox combo;
        combo.addItem("Red", 7);
        combo.addItem("Green", -1);  // -1 is indistinguishable from "no value": not carried
        combo.addItem("Blue", QStringLiteral("payload"));
        combo.addItem("Unknown");
        combo.setCurrentIndex(2);
        int selectionChanges = 0;
        connect(&combo, &QComboBox::currentIndexChanged, [&] { ++selectionChanges; });
        QVERIFY(l.TranslateComboBox(&combo));
        QCOMPARE(combo.count(), 4);
        QCOMPARE(combo.itemText(0), QString("Rot"));
        QCOMPARE(combo.itemText(1), QString("Gruen"));
        QCOMPARE(combo.itemText(3), QString("Unknown"));
        QCOMPARE(combo.itemData(0).toInt(), 7);
        QVERIFY(!combo.itemData(1).isValid());
        QCOMPARE(combo.itemData(2).toString(), QString("payload"));
        QCOMPARE(combo.currentIndex(), 2);
        QCOMPARE(selectionChanges, 0);  // rebuilding the items is no change of selection

        QComboBox none;
        none.addItems({"Red", "Blue"});
        none.setCurrentIndex(-1);
        QVERIFY(!l.TranslateComboBox(&none));
        QCOMPARE(none.currentIndex(), -1);
        QCOMPARE(none.itemText(1), QString("Blau"));

        QComboBox empty;
        QVERIFY(!l.TranslateComboBox(&empty));
    }

    void listBoxTranslatesInPlace() {
        writeIni("[S]\nRed=Rot\nBlue=Blau\n");
        CLangText l = lang("S");
        QListWidget list;
        list.addItem("Red");
        list.addItem("Blue");
        list.item(0)->setData(Qt::UserRole, 42);
        list.item(1)->setData(Qt::UserRole, -1);
        list.setCurrentRow(1);
        QVERIFY(l.TranslateListBox(&list));
        QCOMPARE(list.item(0)->text(), QString("Rot"));
        QCOMPARE(list.item(1)->text(), QString("Blau"));
        QCOMPARE(list.item(0)->data(Qt::UserRole).toInt(), 42);
        QVERIFY(!list.item(1)->data(Qt::UserRole).isValid());
        QCOMPARE(list.currentRow(), 1);
    }

    void menuTreeKeepsSeparatorsSubmenusAndIdentifiers() {
        writeIni("[Menu]\n"
                 "File(&F)=Datei(&D)\nOpen(&O)...  Ctrl+O=\xc3\x96" "ffnen(&O)...  Strg+O\n"
                 "Recent=Zuletzt\nFirst=Erste\nExit(&X)=Beenden(&B)\n");
        QMenuBar bar;
        QMenu* file = bar.addMenu("File(&F)");
        QAction* open = file->addAction("Open(&O)...  Ctrl+O");
        open->setData(57601);
        file->addSeparator();
        QMenu* recent = file->addMenu("Recent");
        QAction* first = recent->addAction("First");
        QAction* blank = file->addAction(QString());
        QAction* exit = file->addAction("Exit(&X)");
        exit->setData(57665);

        CLangText l = lang("Menu");
        l.TranslateMenu(&bar, nullptr);

        const QList<QAction*> items = file->actions();
        QCOMPARE(items.size(), 5);
        QCOMPARE(file->menuAction()->text(), QString("Datei(&D)"));
        QCOMPARE(items[0], open);
        QCOMPARE(open->text(), QString::fromUtf8("\xc3\x96" "ffnen(&O)...  Strg+O"));
        QCOMPARE(open->data().toInt(), 57601);
        QVERIFY(items[1]->isSeparator());
        QCOMPARE(items[2]->menu(), recent);
        QCOMPARE(items[2]->text(), QString("Zuletzt"));
        QCOMPARE(first->text(), QString("Erste"));
        QCOMPARE(blank->text(), QString());
        QCOMPARE(exit->text(), QString("Beenden(&B)"));
        QCOMPARE(exit->data().toInt(), 57665);
    }
};

QTEST_MAIN(LangTextTest)
#include "LangTextTest.moc"

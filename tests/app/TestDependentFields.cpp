// Fields that do not apply to the chosen search type, order type or change status: the operator
// sees them in the colour of the form and Tab passes them by, yet they stay editable.
#include "TestWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>

namespace {

class DependentFields : public ::testing::Test {
  protected:
    TestWindow window;

    void Open(const char* tab)
    {
        window.control<QTabWidget>("pcMain")->setCurrentWidget(window.control<QWidget>(tab));
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void Pick(const char* list, int index) { window.control<QComboBox>(list)->setCurrentIndex(index); }

    // The controls Tab reaches, in order, going round once from `start`.
    QStringList TabStops(const char* start)
    {
        QWidget* first = window.control<QWidget>(start);
        first->setFocus();
        QStringList stops;
        for (int i = 0; i < 1000; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (QApplication::focusWidget() == first)
                return stops;
            stops << QApplication::focusWidget()->objectName();
        }
        ADD_FAILURE() << "Tab never came back to " << start;
        return stops;
    }

    // Whether the inside of an empty edit is drawn in the colour of the form around it.
    static bool LooksLikeForm(QWidget* edit)
    {
        const QImage image = edit->grab().toImage();
        const QWidget* parent = edit->parentWidget();
        return image.pixel(image.width() * 3 / 4, image.height() / 2) ==
               parent->palette().color(parent->backgroundRole()).rgb();
    }

    // `fields` holds "field:types under which it applies", separated by blanks.
    void CheckTypes(const char* selector, const char* start, const QString& fields)
    {
        for (int k = 0; k < window.control<QComboBox>(selector)->count(); ++k) {
            Pick(selector, k);
            const QStringList stops = TabStops(start);
            for (const QString& row : fields.split(u' ')) {
                const QString name = row.section(u':', 0, 0);
                const bool applies = row.section(u':', 1).contains(QString::number(k));
                EXPECT_EQ(stops.contains(name), applies) << row.toStdString() << " at " << k;
                if (auto* edit = window->findChild<QLineEdit*>(name)) {
                    EXPECT_EQ(LooksLikeForm(edit), !applies) << row.toStdString() << " at " << k;
                }
            }
        }
    }
};

TEST_F(DependentFields, ChargesSearchTypeDecidesTheSearchFieldsWhichStayEditable)
{
    Open("tsGISGMPCharges");
    CheckTypes("cbChargeSearchType", "cbChargeSearchType",
               "edSupplierBillID:01 edPayerIdentifiers:02 buAddIdentifier:02");

    Pick("cbChargeSearchType", 2);
    auto* bill = window.control<QLineEdit>("edSupplierBillID");
    QTest::mouseClick(bill, Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), bill);
    QTest::keyClicks(bill, "18810");
    EXPECT_EQ(bill->text(), "18810");
}

TEST_F(DependentFields, DocumentSearchTypeDecidesTheSearchFields)
{
    Open("tsGISGKXCharges");
    CheckTypes("cbChargeSearchType2", "cbChargeSearchType2",
               "edPaymentDocumentID:01 cbYear:0234 cbMonth:0234 edUnifiedAccountNumber:02 edFIASHouseGuid:03 "
               "edPaymentDocumentNumber:03 edAccountNumber:03 edServiceID:04 edLegalINN:01234");
}

TEST_F(DependentFields, OrderTypeDecidesTheOrderFields)
{
    Open("tsGISGKXPayment");
    CheckTypes("cbOrderType", "cbChangeStatus2",
               "cbPaymentDocumentID:01 cbYear2:02456 cbMonth2:02456 edUnifiedAccountNumber2:02 "
               "edPaymentDocumentNumber2:03 edAccountNumber2:04 edServiceID2:05 edFIASHouseGuid2:06 "
               "edHousePlacement:06 edConsumerPatronymic:06 edConsumerINN:06 edAmount2:0123456");
}

TEST_F(DependentFields, CancellationLeavesOnlyTheOrderIdentifierUntilNewIsChosenAgain)
{
    Open("tsGISGKXPayment");
    Pick("cbOrderType", 3);
    Pick("cbChangeStatus2", 1);
    Pick("cbChangeStatus2", 0); // "новое"
    const QStringList newOrder = TabStops("cbChangeStatus2");
    EXPECT_FALSE(newOrder.contains("edChangeStatusReason2"));

    Pick("cbChangeStatus2", 1); // "аннулирование"
    const QStringList cancel = TabStops("cbChangeStatus2");
    EXPECT_TRUE(cancel.contains("edChangeStatusReason2"));
    for (const char* group : {"gbOrder", "gbPaymentRecipient", "gbSupplier", "gbConsumer", "gbExecutor"})
        for (QWidget* field : window.control<QGroupBox>(group)->findChildren<QWidget*>()) {
            const QString name = field->objectName();
            if (qobject_cast<QLabel*>(field)) {
                EXPECT_TRUE(field->isEnabled()) << name.toStdString(); // captions stay readable
            } else if (name.startsWith("ed") || name.startsWith("cb") || name.startsWith("mm")) {
                const bool identifier =
                    name == "edOrderDate" || name == "edOrderNum" || name == "edSubSystem2";
                EXPECT_EQ(cancel.contains(name), identifier) << name.toStdString();
            }
        }

    // The order type changes nothing on screen now.
    auto* service = window.control<QLineEdit>("edServiceID2");
    for (int k : {0, 5}) {
        Pick("cbOrderType", k);
        EXPECT_EQ(TabStops("cbChangeStatus2"), cancel) << k;
        EXPECT_TRUE(LooksLikeForm(service)) << k;
    }

    // Back to "новое": the fields of the chosen type return, each in its old place in the Tab order.
    Pick("cbOrderType", 3);
    Pick("cbChangeStatus2", 0);
    EXPECT_EQ(TabStops("cbChangeStatus2"), newOrder);
    EXPECT_TRUE(LooksLikeForm(service));
    EXPECT_FALSE(LooksLikeForm(window.control<QLineEdit>("edPaymentDocumentNumber2")));
}

TEST(YearLists, RunFromTheOldYearsToTheNextCalendarYear)
{
    TestWindow window(TestWindowSetup().session([](SessionOptions& options) {
        options.clock = [] { return QDateTime(QDate(2031, 5, 1), QTime(12, 0)); };
    }));
    QStringList expected{"", "2016", "2017"};
    for (int year = 2018; year <= 2032; ++year)
        expected << QString::number(year);
    for (const char* name : {"cbYear", "cbYear2"}) {
        auto* years = window.control<QComboBox>(name);
        QStringList items;
        for (int i = 0; i < years->count(); ++i)
            items << years->itemText(i);
        EXPECT_EQ(items, expected) << name;
    }
}

} // namespace

#include "spinedit/program_editors.h"

#include <gtest/gtest.h>

#include <cmath>

namespace spinedit {
namespace {

TEST(ProgramEditors, RxNewStepsMinutesWithinTheHour)
{
    SpinValue e = makeRxNew();
    EXPECT_EQ(e.text(), "0");
    e.setValue(7);
    EXPECT_EQ(e.text(), "7");
    e.StepUp();
    EXPECT_EQ(e.text(), "12");

    e.setText("57");
    e.StepUp();
    EXPECT_EQ(e.text(), "59");
    e.StepUp();
    EXPECT_EQ(e.text(), "59");

    e.setText("3");
    e.StepDown();
    EXPECT_EQ(e.text(), "0");
}

TEST(ProgramEditors, RxNewReadsATypedMinuteUntilBounded)
{
    SpinValue e = makeRxNew();
    e.setText("75");
    EXPECT_EQ(e.Value(), 75);
    // What leaving the field does.
    if (e.LimitToBounds(e.Value()) != e.Value())
        e.setValue(e.Value());
    EXPECT_EQ(e.text(), "59");
}

TEST(ProgramEditors, RXNewSizeStepsFiveSeconds)
{
    SpinValue e = makeRXNewSize();
    EXPECT_EQ(e.text(), "03:10");
    e.setValue(3.0 / 1440); // start-up
    EXPECT_EQ(e.text(), "03:00");
    EXPECT_EQ(e.MaxValue(), 1.0);

    e.StepUp();
    EXPECT_EQ(e.text(), "03:05");
    EXPECT_EQ(e.MaxValue(), 86'399'999.0 / 86'400'000.0);
    EXPECT_EQ(std::llround(e.Value() * 86'400), 185);

    e.setValue(3.0 / 1440);
    e.StepDown();
    EXPECT_EQ(e.text(), "02:55");

    e.setValue(0);
    e.StepDown();
    EXPECT_EQ(e.text(), "00:00");
}

} // namespace
} // namespace spinedit

// The window's side of the drive: which drive slot the drive list names. (What its commands send
// from the progress bar is the flash procedure's tests' business.)
#include <gtest/gtest.h>

#include "app/form_drive.h"
#include "platform/fake/fake_controls.h"
#include "platform/fake/fake_dialogs.h"
#include "platform/fake/fake_system.h"

namespace {

struct Window {
    platform::fake::FakeSystem system;
    platform::fake::FakeDialogs dialogs;
    platform::fake::FakeProgressBar bar;
    platform::fake::FakeComboBox driveList;
    platform::fake::FakeFrame frame;
    aspi::DriveData drives;
    app::FormDrive drive{system, dialogs, bar, driveList, frame, drives};
};

TEST(FormDrive, NoSlotWithoutACurrentItemWithinListAndMap) {
    struct Row {
        const char* what;
        int items, index, map;
        bool selected;
    };
    const Row rows[] = {
        {"no current item", 1, -1, 1, false},    {"index past the list", 1, 1, 1, false},
        {"index past the map", 7, 6, 1, false},  {"map entry out of range", 1, 0, 6, false},
        {"negative map entry", 1, 0, -1, false}, {"a current item", 1, 0, 1, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Window w;
        w.driveList.items.assign(static_cast<size_t>(row.items), "drive");
        w.driveList.index = row.index;
        w.drives.ListMap[0] = row.map;
        aspi::DriveSlot* slot = w.drive.selectedSlot();
        EXPECT_EQ(row.selected, slot != nullptr);
        if (row.selected) {
            EXPECT_EQ(&w.drives.SlotTable[row.map], slot);
        }
    }
}

TEST(FormDrive, SelectionFollowsTheDriveListMap) {
    Window w;
    w.driveList.items = {"a", "b"};
    w.drives.ListMap[0] = 1;
    w.drives.ListMap[1] = 4;
    w.driveList.index = 1;
    EXPECT_EQ(&w.drives.SlotTable[4], w.drive.selectedSlot());
    w.driveList.index = 0;
    EXPECT_EQ(&w.drives.SlotTable[1], w.drive.selectedSlot());
}

} // namespace

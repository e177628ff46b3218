// The main window's controls as fakes, made from the program's own layout the way the window
// system makes the real ones, each also under the short name the tests use.
#pragma once

#include <memory>

#include "app/main_form.h"
#include "platform/fake/fake_controls.h"
#include "platform/fake/fake_form.h"

struct FakeWindow {
    template <typename Fake> Fake& fake(int id) { return form->get<Fake>(id); }

    // On the heap: GCC 12 at -O2 and above loses the dynamic type of a polymorphic member at
    // offset 0 whose virtual functions the enclosing constructor calls, and takes the calls for
    // unreachable.
    std::unique_ptr<platform::fake::FakeForm> form =
        std::make_unique<platform::fake::FakeForm>(app::MainForm);
    app::FormControls controls{*form};
    platform::fake::FakeMainWindow& window = form->window();
    platform::fake::FakeProgressBar& bar =
        fake<platform::fake::FakeProgressBar>(app::IdProgressBar);
    platform::fake::FakeButton& button = fake<platform::fake::FakeButton>(app::IdFlashButton);
    platform::fake::FakeFrame& frame = fake<platform::fake::FakeFrame>(app::IdGroupBox2);
    platform::fake::FakeComboBox& combo = fake<platform::fake::FakeComboBox>(app::IdComboBox1);
    platform::fake::FakeFileList& list1 = fake<platform::fake::FakeFileList>(app::IdFileListBox1);
    platform::fake::FakeFileList& list2 = fake<platform::fake::FakeFileList>(app::IdFileListBox2);
    platform::fake::FakeLabel& label1 = fake<platform::fake::FakeLabel>(app::IdSelectLabel);
    platform::fake::FakeLabel& label2 = fake<platform::fake::FakeLabel>(app::IdSelectLabel2);
};

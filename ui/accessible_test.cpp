// What screen readers are told, in process: the bars' values, which object
// requests the controls answer, and the picker's rows as it scrolls and
// after it closed. The end-to-end run reads the rest from outside.
#include "ui/accessible.h"

#include <oleacc.h>

#include <string>

#include "app/shared_state.h"
#include "app/shared_state_os.h"
#include "catalog/catalog.h"
#include "tests/ui_support/test_window.h"
#include "ui/picker.h"

namespace {

std::vector<CatalogScript> Scripts(int count) {
    std::vector<CatalogScript> scripts;
    for (int i = 0; i < count; ++i) {
        std::string name = "Script " + std::to_string(100 + i);
        scripts.push_back({name, "1", "", {}, {{"main.lua", name, false}}});
    }
    return scripts;
}

class AccessibleTest : public WindowTest {
protected:
    // The object a WM_GETOBJECT for objectId gives, or null when the
    // window left the request to the system.
    static IAccessible* Ask(HWND window, LPARAM objectId) {
        LRESULT answer = SendMessageW(window, WM_GETOBJECT, 0, objectId);
        IAccessible* object = nullptr;
        if (answer <= 0) return nullptr;
        ObjectFromLresult(answer, __uuidof(IAccessible), 0, reinterpret_cast<void**>(&object));
        return object;
    }

    static VARIANT Child(LONG child) {
        VARIANT id;
        id.vt = VT_I4;
        id.lVal = child;
        return id;
    }

    static LONG State(IAccessible* object, LONG child) {
        VARIANT state;
        VariantInit(&state);
        object->get_accState(Child(child), &state);
        return state.lVal;
    }
};

}  // namespace

TEST(AccessibleTextTest, ProgressValueIsTheWholePercentageWithinTheBar) {
    const struct {
        int permille;
        const char16_t* value;
    } cases[] = {{0, u"0%"},      {9, u"0%"},      {455, u"45%"},
                 {1000, u"100%"}, {1700, u"100%"}, {-30, u"0%"}};
    for (const auto& c : cases) {
        char16_t value[8];
        ProgressValueText(c.permille, value, 8);
        EXPECT_EQ(std::u16string(value), c.value) << c.permille;
    }
}

// 64-bit Windows may send the identifier sign-extended or not; both are
// the client object. Every other request is left to the system.
TEST_F(AccessibleTest, ControlsAnswerTheClientObjectAloneInEitherWidth) {
    WriteServerFolder(ServerDir(), Scripts(3));
    ASSERT_NE(OpenAfterCheck(ServerDirPath()), nullptr);
    const struct {
        LPARAM objectId;
        bool own;
    } requests[] = {{static_cast<LPARAM>(OBJID_CLIENT), true},
                    {static_cast<LPARAM>(static_cast<DWORD>(OBJID_CLIENT)), true},
                    {static_cast<LPARAM>(OBJID_WINDOW), false},
                    {static_cast<LPARAM>(OBJID_VSCROLL), false},
                    {-25, false}};  // UI Automation's root
    for (int id : {ID_SCRIPT_SELECTOR, ID_FILE_PROGRESS, ID_TOTAL_PROGRESS}) {
        for (const auto& request : requests) {
            IAccessible* object = Ask(Control(id), request.objectId);
            EXPECT_EQ(object != nullptr, request.own) << id << " " << request.objectId;
            if (object != nullptr) object->Release();
        }
    }
}

// Rows scrolled out of view are off screen; the highlighted one is the
// selection, where its box lies and where a pointer finds it. A closed
// picker's object answers nothing.
TEST_F(AccessibleTest, PickerRowsFollowTheScrollAndGoWithThePicker) {
    WriteServerFolder(ServerDir(), Scripts(10));
    ASSERT_NE(OpenAfterCheck(ServerDirPath()), nullptr);
    PickerClosedTick = TickCount() - 10000;
    Press(ID_SCRIPT_SELECTOR);
    HWND picker = static_cast<HWND>(PickerWindow);
    ASSERT_NE(picker, nullptr);
    MovePickerHighlight(9);  // scrolls scripts 2 to 9 into view
    IAccessible* list = Ask(picker, OBJID_CLIENT);
    ASSERT_NE(list, nullptr);
    LONG count = 0;
    list->get_accChildCount(&count);
    EXPECT_EQ(count, 10);
    const struct {
        LONG child;
        LONG on;
        LONG off;
    } rows[] = {{2, STATE_SYSTEM_OFFSCREEN, STATE_SYSTEM_SELECTED},
                {3, STATE_SYSTEM_SELECTABLE, STATE_SYSTEM_OFFSCREEN | STATE_SYSTEM_SELECTED},
                {10, STATE_SYSTEM_SELECTED, STATE_SYSTEM_OFFSCREEN}};
    for (const auto& row : rows) {
        LONG state = State(list, row.child);
        EXPECT_EQ(state & row.on, row.on) << row.child;
        EXPECT_EQ(state & row.off, 0) << row.child;
    }
    VARIANT selection;
    VariantInit(&selection);
    list->get_accSelection(&selection);
    EXPECT_EQ(selection.lVal, 10);

    LONG left = 0, top = 0, width = 0, height = 0;
    list->accLocation(&left, &top, &width, &height, Child(10));
    RECT lastRow = PickerRowBox(7, width + 2 * PICKER_MARGIN);
    MapWindowPoints(picker, nullptr, reinterpret_cast<POINT*>(&lastRow), 2);
    EXPECT_EQ(top, lastRow.top);
    EXPECT_EQ(height, PICKER_ROW_HEIGHT);
    VARIANT hit;
    VariantInit(&hit);
    list->accHitTest(left + 10, lastRow.top - PICKER_ROW_HEIGHT * 7 + 5, &hit);
    EXPECT_EQ(hit.lVal, 3);  // the top row shows script 2

    ClosePicker();
    BSTR name = nullptr;
    EXPECT_EQ(list->get_accName(Child(1), &name), CO_E_OBJNOTCONNECTED);
    list->Release();
}

// Video-device lists, the lookup of a filter by device path, and the extension-unit object on a
// camera filter's device-specific node, with every moniker, bag, string and node released.
#include "chiplib/chip_test.h"
#include "chiplib/device_list.h"
#include "winsim/dshow.h"

#include <memory>
#include <string>

namespace {

class DeviceListTest : public ChipTest {
  protected:
    void SetUp() override {
        ChipTest::SetUp();
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        list_.reset(new VideoDeviceList());
    }
    void TearDown() override {
        EXPECT_EQ(winsim::LiveBstrCount(), 0) << "strings left";
        CoUninitialize();
        ChipTest::TearDown();
    }

    static winsim::SystemDevice Device(const std::string& name, const std::string& path) {
        winsim::SystemDevice d;
        d.category = CLSID_VideoInputDeviceCategory;
        d.friendlyName = name;
        d.devicePath = path;
        return d;
    }
    // A device whose filter is a plain one, counted by the binds it answered.
    winsim::SystemDevice Bindable(const std::string& name, const std::string& path) {
        winsim::SystemDevice d = Device(name, path);
        auto factory = winsim::FilterFactory(winsim::FilterModel{});
        int* binds = &binds_[path + "|" + name];
        d.bind = [factory, binds](REFIID iid, void** object) {
            ++*binds;
            return factory(iid, object);
        };
        return d;
    }
    static IBaseFilter* NewFilter(const winsim::FilterModel& model) {
        IBaseFilter* f = nullptr;
        EXPECT_EQ(winsim::FilterFactory(model)(IID_IBaseFilter, reinterpret_cast<void**>(&f)),
                  S_OK);
        return f;
    }
    static std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }

    std::unique_ptr<VideoDeviceList> list_;
    std::map<std::string, int> binds_;
};

TEST_F(DeviceListTest, ListsNamesAndPathsAndLeavesOutUnnamedDevices) {
    winsim::AddSystemDevice(Device("USB 2800 Video", "\\\\?\\usb#vid_eb1a&pid_2800#1"));
    winsim::SystemDevice unnamed = Device("", "\\\\?\\usb#vid_eb1a&pid_2800#2");
    unnamed.hasFriendlyName = false;
    winsim::AddSystemDevice(unnamed);
    winsim::SystemDevice pathless = Device("USB 2750 Camera", "");
    pathless.hasDevicePath = false;
    winsim::AddSystemDevice(pathless);
    winsim::AddReceiverComponent("Receiver", "\\\\?\\receiver#1", nullptr);

    EXPECT_EQ(ListVideoInputDevices(list_.get()), S_OK);
    ASSERT_EQ(list_->count, 2);
    EXPECT_EQ(std::wstring(list_->names[0]), L"USB 2800 Video");
    EXPECT_EQ(std::wstring(list_->paths[0]), L"\\\\?\\usb#vid_eb1a&pid_2800#1");
    EXPECT_EQ(std::wstring(list_->names[1]), L"USB 2750 Camera");
    EXPECT_EQ(std::wstring(list_->paths[1]), L"");
    EXPECT_EQ(list_->names[2][0], 0);

    EXPECT_EQ(ListReceiverComponents(list_.get()), S_OK);
    ASSERT_EQ(list_->count, 1);
    EXPECT_EQ(std::wstring(list_->paths[0]), L"\\\\?\\receiver#1");
    EXPECT_EQ(winsim::CallCount("IMoniker::BindToObject"), 0u); // listing binds nothing
}

TEST_F(DeviceListTest, EmptyCategoryGivesUnexpectedForListAndFind) {
    list_->count = 7;
    EXPECT_EQ(ListVideoInputDevices(list_.get()), E_UNEXPECTED);
    EXPECT_EQ(list_->count, 0);
    IBaseFilter* filter = reinterpret_cast<IBaseFilter*>(uintptr_t(0xBAD));
    EXPECT_EQ(FindReceiverComponent(L"", &filter), E_UNEXPECTED);
    EXPECT_EQ(filter, nullptr);
}

TEST_F(DeviceListTest, StopsAtTwentyFourDevicesAndCutsLongTexts) {
    std::string longName(600, 'n');
    for (int i = 0; i < 25; ++i)
        winsim::AddSystemDevice(Device(i == 3 ? longName : "Camera " + std::to_string(i),
                                       "\\\\?\\usb#" + std::to_string(i)));
    EXPECT_EQ(ListVideoInputDevices(list_.get()), S_OK);
    EXPECT_EQ(list_->count, kMaxListedDevices);
    EXPECT_EQ(std::wstring(list_->paths[23]), L"\\\\?\\usb#23");
    // The 25th moniker is never taken.
    EXPECT_EQ(winsim::CallCount("IEnumMoniker::Next"), 24u);
    EXPECT_EQ(std::wstring(list_->names[3]), std::wstring(kDeviceTextUnits - 1, L'n'));
}

TEST_F(DeviceListTest, FailuresOnTheWayEndTheWalkWithTheirResult) {
    for (int i = 0; i < 4; ++i)
        winsim::AddSystemDevice(Device("Camera " + std::to_string(i), "p" + std::to_string(i)));
    winsim::FailCall("IMoniker::BindToStorage", 3, 0);
    EXPECT_EQ(ListVideoInputDevices(list_.get()), E_FAIL);
    EXPECT_EQ(list_->count, 2); // those listed before stay listed

    winsim::FailCall("CoCreateInstance");
    EXPECT_EQ(ListVideoInputDevices(list_.get()), E_OUTOFMEMORY);
    EXPECT_EQ(list_->count, 0);
    winsim::FailCall("ICreateDevEnum::CreateClassEnumerator");
    EXPECT_EQ(ListVideoInputDevices(list_.get()), E_FAIL);

    // A failing name read skips only that device.
    winsim::FailCall("IPropertyBag::Read", 1, 0);
    EXPECT_EQ(ListVideoInputDevices(list_.get()), S_OK);
    EXPECT_EQ(list_->count, 3);
    EXPECT_EQ(std::wstring(list_->names[0]), L"Camera 1");
}

TEST_F(DeviceListTest, FindsByPathOrOnlyWithoutOneByFriendlyName) {
    winsim::AddSystemDevice(Bindable("USB 2800 Video", "path-a"));
    winsim::SystemDevice pathless = Bindable("USB 2750 Camera", "");
    pathless.hasDevicePath = false;
    winsim::AddSystemDevice(pathless);

    IBaseFilter* filter = nullptr;
    // A device with a path is not found by its name; matches are exact.
    EXPECT_EQ(FindVideoInputDevice(L"USB 2800 Video", &filter), S_OK);
    EXPECT_EQ(filter, nullptr);
    EXPECT_EQ(FindVideoInputDevice(L"PATH-A", &filter), S_OK);
    EXPECT_EQ(FindVideoInputDevice(L"path-", &filter), S_OK);
    EXPECT_EQ(filter, nullptr);
    EXPECT_EQ(winsim::CallCount("IMoniker::BindToObject"), 0u);

    ASSERT_EQ(FindVideoInputDevice(L"path-a", &filter), S_OK);
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter->Release(), 0u); // the caller holds the one reference
    ASSERT_EQ(FindVideoInputDevice(L"USB 2750 Camera", &filter), S_OK);
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter->Release(), 0u);
    EXPECT_EQ(binds_["path-a|USB 2800 Video"], 1);
    EXPECT_EQ(binds_["|USB 2750 Camera"], 1);
}

TEST_F(DeviceListTest, FirstMatchWinsEvenWhenItsBindFails) {
    winsim::AddSystemDevice(Bindable("first", "same"));
    winsim::AddSystemDevice(Bindable("second", "same"));
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(FindVideoInputDevice(L"same", &filter), S_OK);
    ASSERT_NE(filter, nullptr);
    filter->Release();
    EXPECT_EQ(binds_["same|first"], 1);
    EXPECT_EQ(binds_["same|second"], 0);

    winsim::FailCall("IMoniker::BindToObject");
    EXPECT_EQ(FindVideoInputDevice(L"same", &filter), E_FAIL);
    EXPECT_EQ(filter, nullptr);
    EXPECT_EQ(binds_["same|second"], 0); // not passed over to the duplicate
    EXPECT_EQ(winsim::CallCount("IMoniker::BindToObject"), 2u);
}

TEST_F(DeviceListTest, ExtensionUnitOnTheDeviceSpecificNode) {
    winsim::RegisterExtensionUnitServer(&camera);
    IBaseFilter* filter =
        NewFilter(winsim::FilterModel{&camera, false, true, winsim::CameraNodes()});
    IExtensionUnitControl* unit = nullptr;
    ASSERT_EQ(CreateExtensionUnit(filter, &unit), 1);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(winsim::CallCount("IKsTopologyInfo::get_NodeType"), 3u); // up to the unit's node
    EXPECT_EQ(winsim::CallCount("IKsTopologyInfo::CreateNodeInstance"), 1u);
    EXPECT_EQ(winsim::LiveComObjects(), 2); // the filter and the unit: the node is released
    // The unit is open: it reaches the camera.
    camera.SetRegister(5, 0x40);
    BYTE frame = 2, request[2] = {5, 1}, value = 0;
    unit->SetUnitControl(1, 1, &frame);
    unit->SetUnitControl(2, 2, request);
    EXPECT_EQ(unit->GetUnitControl(2, 1, &value), S_OK);
    EXPECT_EQ(value, 0x40);
    EXPECT_EQ(unit->Release(), 0u);
    EXPECT_EQ(filter->Release(), 0u);
}

// The system device enumerator is asked for in-process, handler or local server (7); the
// extension-unit server in-process or handler (3).
TEST_F(DeviceListTest, ClassContextsOfTheEnumeratorAndTheServer) {
    winsim::AddSystemDevice(Bindable("USB 2800 Video", "video#1"));
    ListVideoInputDevices(list_.get());
    IBaseFilter* found = nullptr;
    FindVideoInputDevice(L"video#1", &found);
    ASSERT_NE(found, nullptr);
    found->Release();
    winsim::RegisterExtensionUnitServer(&camera);
    IBaseFilter* filter =
        NewFilter(winsim::FilterModel{&camera, false, true, winsim::CameraNodes()});
    IExtensionUnitControl* unit = nullptr;
    ASSERT_EQ(CreateExtensionUnit(filter, &unit), 1);
    const auto& made = winsim::ComCreations();
    ASSERT_EQ(made.size(), 3u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(made[i].clsid == CLSID_SystemDeviceEnum) << i;
        EXPECT_EQ(made[i].context, 7u) << i;
    }
    EXPECT_EQ(made[2].context, 3u);
    EXPECT_EQ(unit->Release(), 0u);
    EXPECT_EQ(filter->Release(), 0u);
}

TEST_F(DeviceListTest, ExtensionUnitTriesTheNextNodeWithAFreshObject) {
    winsim::RegisterExtensionUnitServer(&camera);
    std::vector<GUID> nodes = winsim::CameraNodes();
    nodes[0] = winsim::kDevSpecificNode;
    IBaseFilter* filter = NewFilter(winsim::FilterModel{&camera, false, true, nodes});
    winsim::ScriptExtensionUnitOpens({false, true});
    IExtensionUnitControl* unit = nullptr;
    ASSERT_EQ(CreateExtensionUnit(filter, &unit), 1);
    EXPECT_EQ(winsim::CallCount("IExtensionUnitControl::OpenUnit"), 2u);
    EXPECT_EQ(winsim::CallCount("IKsTopologyInfo::CreateNodeInstance"), 2u);
    EXPECT_EQ(winsim::LiveComObjects(), 2);
    unit->Release();

    // No node finds the camera: nothing is held but the caller's filter.
    winsim::ScriptExtensionUnitOpens({false, false});
    EXPECT_EQ(CreateExtensionUnit(filter, &unit), 0);
    EXPECT_EQ(unit, nullptr);
    EXPECT_EQ(winsim::LiveComObjects(), 1);
    EXPECT_EQ(filter->Release(), 0u);
}

// A node whose type cannot be read counts as no device-specific node, whatever the node before
// it was.
TEST_F(DeviceListTest, ANodeTypeThatCannotBeReadMatchesNothing) {
    winsim::RegisterExtensionUnitServer(&camera);
    std::vector<GUID> nodes = winsim::CameraNodes();
    nodes[0] = winsim::kDevSpecificNode; // its unit finds no camera
    nodes[1] = winsim::kDevSpecificNode; // its type cannot be read
    nodes[2] = winsim::kDevSpecificNode; // its unit opens
    IBaseFilter* filter = NewFilter(winsim::FilterModel{&camera, false, true, nodes});
    winsim::ScriptExtensionUnitOpens({false, true});
    winsim::FailCall("IKsTopologyInfo::get_NodeType", 2);
    IExtensionUnitControl* unit = nullptr;
    ASSERT_EQ(CreateExtensionUnit(filter, &unit), 1);
    EXPECT_EQ(winsim::CallCount("IKsTopologyInfo::get_NodeType"), 3u); // reached node 2
    EXPECT_EQ(winsim::CallCount("IKsTopologyInfo::CreateNodeInstance"), 2u);
    EXPECT_EQ(unit->Release(), 0u);
    EXPECT_EQ(filter->Release(), 0u);
}

TEST_F(DeviceListTest, ExtensionUnitRefusesOtherTopologies) {
    winsim::RegisterExtensionUnitServer(&camera);
    for (size_t n : {3u, 5u}) {
        std::vector<GUID> nodes(n, winsim::kDevSpecificNode);
        IBaseFilter* filter = NewFilter(winsim::FilterModel{&camera, false, true, nodes});
        IExtensionUnitControl* unit = nullptr;
        EXPECT_EQ(CreateExtensionUnit(filter, &unit), 0) << n << " nodes";
        EXPECT_EQ(filter->Release(), 0u);
    }
    EXPECT_EQ(winsim::CallCount("IKsTopologyInfo::get_NodeType"), 0u);

    // No topology at all; a node instance that cannot be made; a server not installed.
    IBaseFilter* plain = NewFilter(winsim::FilterModel{&camera, false, false, {}});
    IExtensionUnitControl* unit = nullptr;
    EXPECT_EQ(CreateExtensionUnit(plain, &unit), 0);
    EXPECT_EQ(plain->Release(), 0u);

    std::vector<GUID> twoUnits = winsim::CameraNodes();
    twoUnits[3] = winsim::kDevSpecificNode;
    IBaseFilter* filter = NewFilter(winsim::FilterModel{&camera, false, true, twoUnits});
    winsim::FailCall("IKsTopologyInfo::CreateNodeInstance");
    EXPECT_EQ(CreateExtensionUnit(filter, &unit), 0);
    EXPECT_EQ(winsim::CallCount("IKsTopologyInfo::CreateNodeInstance"), 1u); // no later node
    EXPECT_EQ(winsim::CallCount("CoCreateInstance"), 0u);

    // The object cannot be made: no later node is tried either.
    winsim::UnregisterComClass(CLSID_ExtensionUnitControl);
    uint64_t instances = winsim::CallCount("IKsTopologyInfo::CreateNodeInstance");
    EXPECT_EQ(CreateExtensionUnit(filter, &unit), 0);
    EXPECT_EQ(winsim::CallCount("IKsTopologyInfo::CreateNodeInstance"), instances + 1);
    EXPECT_EQ(unit, nullptr);
    EXPECT_EQ(winsim::LiveComObjects(), 1);
    EXPECT_EQ(filter->Release(), 0u);
}

} // namespace

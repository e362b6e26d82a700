#include "app/win32/browser_site.h"

#include <gtest/gtest.h>
// After windows.h, which they need.
#include <docobj.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <servprov.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/log.h"
#include "platform/utf8_text.h"
#include "stand_in_dispatch.h"
#include "variants.h"

namespace {

class RecordingEvents : public BrowserEvents {
  public:
    std::vector<std::string> seen;
    bool cancel = false;  // the answer to the events that may cancel

    bool beforeNavigate(std::u16string_view address) override {
        seen.push_back("before " + utf8::fromUtf16(address));
        return cancel;
    }
    void documentComplete(bool topFrame) override {
        seen.push_back("document " + std::to_string(topFrame));
    }
    bool navigateError(bool topFrame, std::u16string_view address) override {
        seen.push_back("error " + std::to_string(topFrame) + " " + utf8::fromUtf16(address));
        return cancel;
    }
};

// A document as its container sees it: it keeps the host UI handler it is given.
class StandInDocument final : public ComObject<ICustomDoc> {
  public:
    ComRef<IDocHostUIHandler> handler;
    HRESULT STDMETHODCALLTYPE SetUIHandler(IDocHostUIHandler* given) override {
        handler = ComRef<IDocHostUIHandler>::share(given);
        return S_OK;
    }
};

// A frame of the browser holding `document`, as an event argument.
VARIANT frameWith(StandInDocument* document) {
    VARIANT held;
    V_VT(&held) = VT_UNKNOWN;
    V_UNKNOWN(&held) = ComRef<IUnknown>::share(document).detach();
    return dispatchVariant(new StandInDispatch({{L"Document", held}}));
}

// Sends one of the browser's events to the site's sink, the arguments in the event's order.
HRESULT fire(IUnknown* site, DISPID id, std::vector<VARIANT> eventOrder) {
    Arguments args(std::move(eventOrder));
    DISPPARAMS params = args.params();
    return queryInterface<IDispatch>(site)->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params,
                                                   nullptr, nullptr, nullptr);
}

ULONG referencesOf(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

// What the control may ask its container for, and what it never gets.
const IID* const kAnswered[] = {
    &IID_IUnknown,          &IID_IOleClientSite,   &IID_IOleWindow,
    &IID_IOleInPlaceSite,   &IID_IOleInPlaceFrame, &IID_IOleInPlaceUIWindow,
    &IID_IOleCommandTarget, &IID_IDispatch,        &DIID_DWebBrowserEvents2,
    &IID_IDocHostUIHandler,
};
const IID* const kRefused[] = {&IID_IServiceProvider, &IID_IOleContainer, &IID_IOleInPlaceSiteEx,
                               &IID_IClassFactory};

ComRef<IUnknown> query(IUnknown* from, const IID& iid, HRESULT* status = nullptr) {
    void* out = reinterpret_cast<void*>(1);
    HRESULT hr = from->QueryInterface(iid, &out);
    if (status != nullptr) *status = hr;
    return ComRef<IUnknown>(static_cast<IUnknown*>(out));
}

TEST(BrowserSite, EveryInterfaceItHandsOutLeadsBackToOneIdentity) {
    RecordingEvents events;
    ComRef<BrowserSite> site(new BrowserSite(events, nullptr));
    IUnknown* identity = site.get();
    ComRef<StandInDocument> document(new StandInDocument);
    {
        // Each interface as the control gets it: by asking, from the in-place site's window
        // context, and as a document's own UI handler.
        std::vector<std::pair<const IID*, ComRef<IUnknown>>> handedOut;
        for (const IID* iid : kAnswered)
            handedOut.emplace_back(iid, query(identity, *iid));
        IOleInPlaceFrame* frame = nullptr;
        RECT position, clip;
        OLEINPLACEFRAMEINFO info{};
        EXPECT_EQ(queryInterface<IOleInPlaceSite>(identity)->GetWindowContext(
                      &frame, nullptr, &position, &clip, &info),
                  S_OK);
        handedOut.emplace_back(&IID_IOleInPlaceFrame, ComRef<IUnknown>(frame));
        fire(identity, DISPID_NAVIGATECOMPLETE2,
             {frameWith(document.get()), stringVariant("http://portal.example/")});
        ASSERT_TRUE(document->handler);
        handedOut.emplace_back(&IID_IDocHostUIHandler,
                               ComRef<IUnknown>::share(document->handler.get()));

        for (auto& [iid, p] : handedOut) {
            ASSERT_TRUE(p);
            EXPECT_EQ(query(p.get(), IID_IUnknown).get(), identity);
            HRESULT status = E_FAIL;
            EXPECT_TRUE(query(p.get(), *iid, &status)) << "not reflexive";
            for (const IID* other : kAnswered) {
                ComRef<IUnknown> q = query(p.get(), *other, &status);
                ASSERT_EQ(status, S_OK);
                EXPECT_TRUE(query(q.get(), *iid)) << "not symmetric";
                for (const IID* third : kAnswered)
                    EXPECT_TRUE(query(q.get(), *third)) << "not transitive";
            }
            for (const IID* refused : kRefused) {
                EXPECT_FALSE(query(p.get(), *refused, &status));
                EXPECT_EQ(status, E_NOINTERFACE);
            }
            EXPECT_EQ(p->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
        }
        EXPECT_GT(referencesOf(identity), 1u);
    }
    // The document still holds its handler, and through it the container.
    EXPECT_EQ(referencesOf(identity), 2u);
    document->handler.reset();
    EXPECT_EQ(referencesOf(identity), 1u);
}

TEST(BrowserSite, EachDocumentGetsItsOwnExternalAndTheOthersNone) {
    RecordingEvents events;
    std::vector<std::string> madeFor;
    ComRef<BrowserSite> site(new BrowserSite(events, [&madeFor](std::u16string_view address) {
        madeFor.push_back(utf8::fromUtf16(address));
        return ComRef<IDispatch>(new StandInDispatch({}));
    }));
    ComRef<StandInDocument> portal(new StandInDocument);
    ComRef<StandInDocument> written(new StandInDocument);
    fire(site.get(), DISPID_NAVIGATECOMPLETE2,
         {frameWith(portal.get()), stringVariant("http://portal.example/")});
    fire(site.get(), DISPID_DOCUMENTCOMPLETE, {frameWith(written.get()), stringVariant("about:x")});
    ComRef<IDocHostUIHandler> fallback = queryInterface<IDocHostUIHandler>(site.get());
    struct Case {
        IDocHostUIHandler* handler;
        HRESULT status;
        std::vector<std::string> madeFor;
    } cases[] = {
        {portal->handler.get(), S_OK, {"http://portal.example/"}},
        {written->handler.get(), S_OK, {"about:x"}},
        {fallback.get(), S_FALSE, {}},  // a document before its navigation has completed
    };
    for (const Case& c : cases) {
        madeFor.clear();
        ASSERT_NE(c.handler, nullptr);
        IDispatch* external = reinterpret_cast<IDispatch*>(1);
        EXPECT_EQ(c.handler->GetExternal(&external), c.status);
        EXPECT_EQ(external != nullptr, c.status == S_OK);
        ComRef<IDispatch> owned(external);
        EXPECT_EQ(madeFor, c.madeFor);

        // Every document: a dialog-like page in the system's theme at the screen's DPI, without
        // border, scroll bars or the browser's own context menu.
        DOCHOSTUIINFO info{};
        EXPECT_EQ(c.handler->GetHostInfo(&info), S_OK);
        for (DWORD flag : {DOCHOSTUIFLAG_DIALOG, DOCHOSTUIFLAG_NO3DBORDER, DOCHOSTUIFLAG_SCROLL_NO,
                           DOCHOSTUIFLAG_DPI_AWARE, DOCHOSTUIFLAG_THEME})
            EXPECT_EQ(info.dwFlags & flag, flag) << std::hex << flag;
        POINT at{3, 4};
        EXPECT_EQ(c.handler->ShowContextMenu(0, &at, nullptr, nullptr), S_OK);
    }
    // Once closed, the site makes nothing more for documents that outlive it.
    site->close();
    madeFor.clear();
    IDispatch* external = nullptr;
    EXPECT_EQ(portal->handler->GetExternal(&external), S_FALSE);
    EXPECT_TRUE(madeFor.empty());
}

TEST(BrowserSite, BrowserEventsReachTheWindowAndItsAnswersCancel) {
    constexpr const char* kAddress = "http://portal.example/a";
    struct Case {
        DISPID id;
        int argCount;  // as many of the event's arguments as it gets
        bool cancel;
        HRESULT status;
        const char* seen;
        VARIANT_BOOL cancelled;
    } cases[] = {
        {DISPID_BEFORENAVIGATE2, 7, false, S_OK, "before http://portal.example/a", VARIANT_FALSE},
        {DISPID_BEFORENAVIGATE2, 7, true, S_OK, "before http://portal.example/a", VARIANT_TRUE},
        {DISPID_BEFORENAVIGATE2, 6, true, S_OK, "", VARIANT_FALSE},
        {DISPID_NAVIGATEERROR, 5, true, S_OK, "error 0 http://portal.example/a", VARIANT_TRUE},
        {DISPID_NAVIGATEERROR, 5, false, S_OK, "error 0 http://portal.example/a", VARIANT_FALSE},
        {DISPID_NAVIGATECOMPLETE2, 2, true, S_OK, "", VARIANT_FALSE},
        {DISPID_NAVIGATECOMPLETE2, 1, true, S_OK, "", VARIANT_FALSE},
        {DISPID_DOCUMENTCOMPLETE, 2, true, S_OK, "document 0", VARIANT_FALSE},
        {DISPID_DOCUMENTCOMPLETE, 1, true, S_OK, "", VARIANT_FALSE},
        {DISPID_STATUSTEXTCHANGE, 1, true, DISP_E_MEMBERNOTFOUND, "", VARIANT_FALSE},
    };
    RecordingEvents events;
    ComRef<BrowserSite> site(new BrowserSite(events, nullptr));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " with " << c.argCount);
        events.seen.clear();
        events.cancel = c.cancel;
        VARIANT_BOOL cancelled = VARIANT_FALSE;
        VARIANT cancel;
        V_VT(&cancel) = VT_BYREF | VT_BOOL;
        V_BOOLREF(&cancel) = &cancelled;
        ComRef<StandInDocument> document(new StandInDocument);
        VARIANT url = stringVariant(kAddress);
        VARIANT urlRef;  // as the browser sends it
        V_VT(&urlRef) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&urlRef) = &url;
        // The frame, the address, what else the event has, and cancel last.
        std::vector<VARIANT> args = {frameWith(document.get())};
        if (c.argCount >= 2) args.push_back(urlRef);
        while (static_cast<int>(args.size()) + 1 < c.argCount)
            args.push_back(typeOnly(VT_EMPTY));
        if (c.argCount >= 3) args.push_back(cancel);
        EXPECT_EQ(fire(site.get(), c.id, std::move(args)), c.status);
        EXPECT_EQ(events.seen,
                  *c.seen ? std::vector<std::string>{c.seen} : std::vector<std::string>{});
        EXPECT_EQ(cancelled, c.cancelled);
        VariantClear(&url);
    }
}

TEST(BrowserSite, TakesScriptErrorsIntoTheLogWithoutADialogAndLetsTheScriptsGoOn) {
    // The engine's document, its window and the window's event object, as the engine hands them
    // over (CGID_DocHostCommandHandler, OLECMDID_SHOWSCRIPTERROR).
    const GUID kGroup = {
        0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};
    auto documentWith = [](std::vector<StandInDispatch::Property> event) {
        auto* window = new StandInDispatch(
            {{L"event", dispatchVariant(new StandInDispatch(std::move(event)))}});
        VARIANT document;
        V_VT(&document) = VT_UNKNOWN;
        V_UNKNOWN(&document) = new StandInDispatch({{L"parentWindow", dispatchVariant(window)}});
        return document;
    };
    struct Case {
        const GUID* group;
        VARIANT in;
        const char* line;
    } cases[] = {
        {&kGroup,
         documentWith({{L"errorMessage", stringVariant("\xB6\xD4\xCF\xF3\xB2\xBB\xD6\xA7\xB3\xD6")},
                       {L"errorLine", variantOf<VT_I4>(212)},
                       {L"errorUrl", stringVariant("file:///C:/vantu/portal/portal.js")}}),
         "script error: \xB6\xD4\xCF\xF3\xB2\xBB\xD6\xA7\xB3\xD6 "
         "(file:///C:/vantu/portal/portal.js, line 212)"},
        {nullptr, documentWith({{L"errorMessage", stringVariant("two\r\nlines")}}),
         "script error: two  lines"},
        {&kGroup, documentWith({{L"errorLine", variantOf<VT_I4>(3)}}),
         "script error: (no message) (line 3)"},
        {&kGroup, typeOnly(VT_EMPTY), "script error: (no message)"},
    };
    RecordingEvents events;
    ComRef<BrowserSite> site(new BrowserSite(events, nullptr));
    ComRef<IOleCommandTarget> target = queryInterface<IOleCommandTarget>(site.get());
    ASSERT_TRUE(target);
    std::vector<std::string> lines;
    platform::setLogHandler([&lines](std::string_view line) { lines.emplace_back(line); });
    for (Case& c : cases) {
        lines.clear();
        VARIANT goOn;
        VariantInit(&goOn);
        EXPECT_EQ(target->Exec(c.group, OLECMDID_SHOWSCRIPTERROR, 0, &c.in, &goOn), S_OK);
        EXPECT_EQ(V_VT(&goOn), VT_BOOL);
        EXPECT_EQ(V_BOOL(&goOn), VARIANT_TRUE);
        EXPECT_EQ(lines, std::vector<std::string>{c.line});
        VariantClear(&c.in);
    }
    // Other commands and other groups keep the browser's own handling.
    lines.clear();
    EXPECT_EQ(target->Exec(&kGroup, OLECMDID_SHOWMESSAGE, 0, nullptr, nullptr),
              OLECMDERR_E_NOTSUPPORTED);
    EXPECT_EQ(target->Exec(&IID_IDispatch, OLECMDID_SHOWSCRIPTERROR, 0, nullptr, nullptr),
              OLECMDERR_E_UNKNOWNGROUP);
    EXPECT_TRUE(lines.empty());
    platform::setLogHandler(nullptr);
}

// The system's own control, in a window of its own.
TEST(BrowserSite, TheControlLetsGoOfTheContainerWhenItCloses) {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent, nullptr) << GetLastError();
    RecordingEvents events;
    ComRef<BrowserSite> site(new BrowserSite(events, nullptr));
    ASSERT_TRUE(site->create(parent, {0, 0, 400, 300}));
    EXPECT_NE(site->window(), nullptr);
    EXPECT_GT(referencesOf(site.get()), 1u) << "the control holds no reference to its container";
    site->close();
    EXPECT_EQ(site->window(), nullptr);
    EXPECT_FALSE(site->hasDocument());
    EXPECT_EQ(referencesOf(site.get()), 1u);
    DestroyWindow(parent);
    OleUninitialize();
}

}  // namespace

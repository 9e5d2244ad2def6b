#include "Cocoa.hpp"

#include "HostBackend.hpp"
#include "PlatformClock.hpp"
#include "WebBackend.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <utility>

namespace {

int nextWindowNumber = 1;
std::vector<NSModalSession*> runningSessions;

NSRect ReadRect(const nlohmann::json& value, NSRect fallback)
{
    if (!value.is_array() || value.size() != 4)
        return fallback;
    for (const auto& n : value)
        if (!n.is_number())
            return fallback;
    return NSMakeRect(value[0].get<double>(), value[1].get<double>(), value[2].get<double>(), value[3].get<double>());
}

std::string Describe(NSRect rect)
{
    auto n = [](double v) { return std::to_string(std::lround(v)); };
    return "(" + n(rect.origin.x) + ", " + n(rect.origin.y) + ", " + n(rect.size.width) + ", " + n(rect.size.height) +
           ")";
}

}  // namespace

NSView::~NSView() = default;

void NSView::addSubview(std::shared_ptr<NSView> view)
{
    if (!view)
        return;
    subviews_.push_back(view);
    view->MoveToWindow(window_);
}

void NSView::MoveToWindow(NSWindow* window)
{
    window_ = window;
    for (const auto& sub : subviews_)
        sub->MoveToWindow(window);
    viewDidMoveToWindow();
}

NSWindow::NSWindow(NSRect frame, NSUInteger styleMask, NSString title)
    : number_(nextWindowNumber++),
      title_(std::move(title)),
      styleMask_(styleMask),
      frame_(frame),
      contentView_(std::make_shared<NSView>(NSMakeRect(0, 0, frame.size.width, frame.size.height)))
{
    contentView_->MoveToWindow(this);
    Platform::GetWebBackend().WindowEvent(
        *this, "created \"" + title_ + "\" " + Describe(frame_) + " style mask " + std::to_string(styleMask_));
}

NSWindow::~NSWindow()
{
    if (contentView_)
        contentView_->MoveToWindow(nullptr);
}

void NSWindow::setStyleMask(NSUInteger mask)
{
    if (mask == styleMask_)
        return;
    styleMask_ = mask;
    Platform::GetWebBackend().WindowEvent(*this, "style mask " + std::to_string(mask));
}

void NSWindow::setFrame(NSRect frame, bool, bool)
{
    frame_ = frame;
    Platform::GetWebBackend().WindowEvent(*this, "frame " + Describe(frame));
}

void NSWindow::setContentView(std::shared_ptr<NSView> view)
{
    if (contentView_)
        contentView_->MoveToWindow(nullptr);
    contentView_ = std::move(view);
    if (contentView_)
        contentView_->MoveToWindow(this);
}

void NSWindow::makeKeyAndOrderFront()
{
    if (visible_ || closed_)
        return;
    visible_ = true;
    Platform::GetWebBackend().WindowEvent(*this, "shown");
}

void NSWindow::orderOut()
{
    if (!visible_)
        return;
    visible_ = false;
    Platform::GetWebBackend().WindowEvent(*this, "hidden");
}

void NSWindow::setOpaque(bool opaque)
{
    opaque_ = opaque;
    Platform::GetWebBackend().WindowEvent(*this, opaque ? "opaque" : "not opaque");
}

void NSWindow::setHasShadow(bool shadow)
{
    shadow_ = shadow;
    Platform::GetWebBackend().WindowEvent(*this, shadow ? "with shadow" : "without shadow");
}

void NSWindow::setCanHide(bool canHide)
{
    canHide_ = canHide;
}

void NSWindow::close()
{
    if (closed_)
        return;
    closed_ = true;
    if (delegate_ != nullptr)
        delegate_->windowWillClose(*this);
    visible_ = false;
    Platform::GetWebBackend().WindowEvent(*this, "closed");
    if (closeObserver_) {
        auto observer = std::move(closeObserver_);
        observer();
    }
}

NSWindowController::~NSWindowController()
{
    if (window_ && window_->delegate() == this)
        window_->setDelegate(nullptr);
}

bool NSWindowController::initWithWindow(NSWindow* window)
{
    window_ = window != nullptr ? window->shared_from_this() : nullptr;
    return true;
}

bool NSWindowController::initWithWindowNibName(const NSString& nibName, const NSString& bundleFolder)
{
    nibName_ = nibName;
    bundleFolder_ = bundleFolder;
    return !nibName.empty();
}

NSWindow* NSWindowController::window()
{
    if (!window_ && !nibName_.empty())
        LoadNib();
    return window_.get();
}

void NSWindowController::close()
{
    if (window_)
        window_->close();
}

std::shared_ptr<NSObject> NSWindowController::nibObject(const NSString&)
{
    return nullptr;
}

void NSWindowController::setNibOutlet(const NSString&, const std::shared_ptr<NSObject>&) {}

void NSWindowController::LoadNib()
{
    const std::string path = bundleFolder_ + "/" + nibName_ + ".json";
    const std::string nibName = std::exchange(nibName_, std::string());  // loaded once, whatever happens
    nlohmann::json nib;
    try {
        std::ifstream in(path);
        nib = nlohmann::json::parse(in);
    } catch (const std::exception&) {
        NSLog("Could not load the nib '%s'", nibName.c_str());
        return;
    }
    const nlohmann::json none;
    const nlohmann::json windowSpec = nib.contains("window") ? nib["window"] : nlohmann::json::object();
    auto window = std::make_shared<NSWindow>(
        ReadRect(windowSpec.contains("frame") ? windowSpec["frame"] : none, NSMakeRect(0, 0, 800, 600)),
        windowSpec.value("styleMask", 15ul), windowSpec.value("title", std::string()));
    std::map<std::string, std::shared_ptr<NSObject>> objects;
    const nlohmann::json objectSpecs = nib.contains("objects") ? nib["objects"] : nlohmann::json::object();
    for (const auto& [id, spec] : objectSpecs.items()) {
        if (auto object = nibObject(spec.value("class", std::string()))) {
            objects[id] = object;
            nibObjects_.push_back(object);
        }
    }
    auto resolve = [&](const nlohmann::json& reference) -> NSObject* {
        if (!reference.is_string())
            return nullptr;
        if (reference == "owner")
            return this;
        const auto found = objects.find(reference.get<std::string>());
        return found != objects.end() ? found->second.get() : nullptr;
    };
    auto field = [&](const nlohmann::json& spec, const char* key) -> const nlohmann::json& {
        return spec.contains(key) ? spec[key] : none;
    };
    std::function<std::shared_ptr<NSView>(const nlohmann::json&)> makeView = [&](const nlohmann::json& spec) {
        const std::string className = spec.value("class", std::string("NSView"));
        const NSRect frame = ReadRect(field(spec, "frame"), NSZeroRect);
        std::shared_ptr<NSView> view;
        if (className == "NSView") {
            view = std::make_shared<NSView>(frame);
        } else if (className == "WebView") {
            auto web = std::make_shared<WebView>(frame);
            web->setFrameLoadDelegate(dynamic_cast<WebFrameLoadDelegate*>(resolve(field(spec, "frameLoadDelegate"))));
            web->setPolicyDelegate(dynamic_cast<WebPolicyDelegate*>(resolve(field(spec, "policyDelegate"))));
            view = web;
        } else {
            view = std::dynamic_pointer_cast<NSView>(nibObject(className));
            if (!view)
                view = std::make_shared<NSView>();
            view->setFrame(frame);
        }
        view->setAutoresizingMask(spec.value("autoresizingMask", 0ul));
        if (const auto& subviews = field(spec, "subviews"); subviews.is_array())
            for (const auto& sub : subviews)
                view->addSubview(makeView(sub));
        if (spec.contains("outlet"))
            setNibOutlet(spec["outlet"].get<std::string>(), view);
        return view;
    };
    window_ = window;
    if (nib.contains("contentView"))
        window->setContentView(makeView(nib["contentView"]));
    window->setDelegate(dynamic_cast<NSWindowDelegate*>(resolve(field(windowSpec, "delegate"))));
    awakeFromNib();
    windowDidLoad();
}

std::unique_ptr<NSModalSession> NSApplication::beginModalSessionForWindow(NSWindow* window)
{
    auto session = std::make_unique<NSModalSession>();
    if (window == nullptr || window->isClosed()) {
        session->stopped = true;
        return session;
    }
    session->window = window;
    window->makeKeyAndOrderFront();
    Platform::GetWebBackend().WindowEvent(*window, "modal session begins");
    runningSessions.push_back(session.get());
    return session;
}

NSModalResponse NSApplication::runModalSession(NSModalSession* session)
{
    if (session == nullptr || session->stopped || session->window == nullptr)
        return NSModalResponseStop;
    Platform::GetWebBackend().RunModalSession(*session->window);
    return session->stopped ? NSModalResponseStop : NSModalResponseContinue;
}

void NSApplication::endModalSession(std::unique_ptr<NSModalSession> session)
{
    if (!session)
        return;
    std::erase(runningSessions, session.get());
    if (session->window != nullptr)
        Platform::GetWebBackend().WindowEvent(*session->window, "modal session ends");
}

void NSApplication::stopModal()
{
    if (!runningSessions.empty())
        runningSessions.back()->stopped = true;
}

const NSDate* NSDate::distantPast()
{
    static const NSDate past;
    return &past;
}

std::shared_ptr<NSEvent> NSApplication::nextEventMatchingMask(NSUInteger, const NSDate*, const char*, bool dequeue)
{
    if (!peeked_) {
        if (auto delivery = Platform::GetWebBackend().NextPendingEvent())
            peeked_ = std::make_shared<NSEvent>(std::move(delivery));
    }
    return dequeue ? std::exchange(peeked_, nullptr) : peeked_;
}

void NSApplication::sendEvent(const NSEvent& event)
{
    if (event.delivery_)
        event.delivery_();
}

NSApplication& NSApp()
{
    static NSApplication application;
    return application;
}

NSRunLoop& NSRunLoop::currentRunLoop()
{
    static NSRunLoop loop;
    return loop;
}

double NSRunLoop::limitDateForMode(const char*)
{
    return 0;
}

void NSThread::sleepForTimeInterval(double seconds)
{
    if (seconds > 0)
        Platform::SleepFor(std::chrono::milliseconds(std::llround(seconds * 1000)));
}

NSWorkspace& NSWorkspace::sharedWorkspace()
{
    static NSWorkspace workspace;
    return workspace;
}

void NSWorkspace::activateFileViewerSelectingURLs(const std::vector<NSURL>& urls)
{
    for (const auto& url : urls)
        Platform::GetWebBackend().RevealInFileViewer(url.path());
}

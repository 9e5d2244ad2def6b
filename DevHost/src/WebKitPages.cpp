#include "DevHost/WebKitPages.hpp"

#include "HostBackend.hpp"

#include <webkit2/webkit2.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>

namespace DevHost {
namespace {

// How long the add-on's script may take before its evaluation counts as failed.
constexpr auto EvaluationLimit = std::chrono::seconds(20);
// How often a busy page is asked again whether it is still busy.
constexpr auto BusyPoll = std::chrono::milliseconds(40);

// The legacy view's script object: each function of "external" posts its name and arguments
// to the engine and gives the page a promise of what the add-on answered.
constexpr const char* ExternalObjectScript = R"JS(
(function () {
    var handler = window.webkit.messageHandlers.external;
    var external = new Proxy({}, {
        get: function (target, name) {
            if (typeof name !== 'string')
                return undefined;
            return function () {
                return handler.postMessage({ name: name, args: Array.prototype.slice.call(arguments) });
            };
        }
    });
    Object.defineProperty(window, 'external', { value: external, configurable: true, writable: true });
})();
)JS";

constexpr const char* BusyQuery =
    "document.documentElement !== null && document.documentElement.hasAttribute('data-busy')";

std::string TakeString(char* text)
{
    std::string out = text != nullptr ? text : "";
    g_free(text);
    return out;
}

std::string StringOf(JSCValue* value)
{
    GBytes* bytes = jsc_value_to_string_as_bytes(value);
    if (bytes == nullptr)
        return {};
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    std::string out(data != nullptr ? data : "", size);
    g_bytes_unref(bytes);
    return out;
}

Platform::ScriptValue FromScript(JSCValue* value)
{
    if (jsc_value_is_string(value))
        return Platform::ScriptValue(StringOf(value));
    if (jsc_value_is_number(value))
        return Platform::ScriptValue(jsc_value_to_double(value));
    if (jsc_value_is_boolean(value))
        return Platform::ScriptValue(static_cast<bool>(jsc_value_to_boolean(value)));
    return {};
}

// A message body as the add-on's handler sees it: an object's own properties; anything
// that is not an object gives an empty dictionary.
Platform::ScriptDictionary DictionaryOf(JSCValue* value)
{
    Platform::ScriptDictionary dictionary;
    if (!jsc_value_is_object(value) || jsc_value_is_array(value))
        return dictionary;
    char** names = jsc_value_object_enumerate_properties(value);
    for (char** name = names; name != nullptr && *name != nullptr; ++name) {
        JSCValue* property = jsc_value_object_get_property(value, *name);
        dictionary[*name] = FromScript(property);
        g_object_unref(property);
    }
    g_strfreev(names);
    return dictionary;
}

std::string JsonOf(JSCValue* value)
{
    return jsc_value_is_undefined(value) ? "undefined" : TakeString(jsc_value_to_json(value, 0));
}

JSCValue* ToScript(JSCContext* context, const Platform::ScriptValue& value)
{
    if (value.IsText()) {
        GBytes* bytes = g_bytes_new(value.Text().data(), value.Text().size());
        JSCValue* text = jsc_value_new_string_from_bytes(context, bytes);
        g_bytes_unref(bytes);
        return text;
    }
    if (value.IsNumber())
        return jsc_value_new_number(context, value.Number());
    if (value.IsBool())
        return jsc_value_new_boolean(context, value.IntegerValue() != 0);
    return jsc_value_new_undefined(context);
}

bool Matches(const std::string& url, const std::string& pattern)
{
    return url.find(pattern) != std::string::npos;
}

}  // namespace

struct WebKitPages::Impl {
    struct View {
        Impl* impl = nullptr;
        int id = 0;
        Platform::WebPage* page = nullptr;
        GtkWidget* window = nullptr;
        WebKitWebView* view = nullptr;
        WebKitUserContentManager* content = nullptr;
        std::string url;  // as the add-on asked for it
        bool loading = false;
        bool failed = false;
        bool closing = false;  // the user closes it for a "page ... close" line
    };

    struct Event {
        enum class Kind { ScriptObject, Finished, Message, Call, Policy };
        Kind kind = Kind::Finished;
        int page = 0;
        Platform::ScriptDictionary body;  // Message
        std::string text;                 // Message: the body as JSON; Call: the function; Policy: the address
        std::vector<Platform::ScriptValue> args;
        WebKitScriptMessageReply* reply = nullptr;
        JSCContext* context = nullptr;
        WebKitPolicyDecision* decision = nullptr;
        bool newWindow = false;
    };

    // One evaluation in flight; shared with its completion callback, which may come late.
    struct Evaluation {
        bool done = false;
        std::string error;
        bool hasValue = false;
        Platform::ScriptValue value;
    };

    WebKitWebContext* context = nullptr;
    WebKitSettings* settings = nullptr;
    guint ticker = 0;
    std::map<int, std::unique_ptr<View>> views;
    std::deque<Event> events;
    std::vector<std::string> closePatterns;

    ~Impl()
    {
        for (auto& [id, view] : views)
            Destroy(*view);
        views.clear();
        for (Event& event : events)
            Drop(event);
        if (ticker != 0)
            g_source_remove(ticker);
        if (settings != nullptr)
            g_object_unref(settings);
        if (context != nullptr)
            g_object_unref(context);
        while (g_main_context_iteration(nullptr, FALSE)) {}
    }

    static void Drop(Event& event)
    {
        if (event.reply != nullptr) {
            webkit_script_message_reply_return_error_message(event.reply, "the page is gone");
            webkit_script_message_reply_unref(event.reply);
        }
        if (event.context != nullptr)
            g_object_unref(event.context);
        if (event.decision != nullptr) {
            webkit_policy_decision_ignore(event.decision);
            g_object_unref(event.decision);
        }
        event.reply = nullptr;
        event.context = nullptr;
        event.decision = nullptr;
    }

    static void Destroy(View& view)
    {
        g_signal_handlers_disconnect_by_data(view.view, &view);
        g_signal_handlers_disconnect_by_data(view.content, &view);
        gtk_widget_destroy(view.window);
        g_object_unref(view.content);
    }

    View* Find(int id)
    {
        const auto it = views.find(id);
        return it != views.end() ? it->second.get() : nullptr;
    }

    // One turn of the engine's main context; a blocking turn ends at the next tick at the latest.
    static void Pump(bool block) { g_main_context_iteration(nullptr, block); }
    static void PumpAll()
    {
        while (g_main_context_iteration(nullptr, FALSE)) {}
    }

    View& Open(Platform::WebPage& page)
    {
        if (View* existing = Find(page.PageId()))
            return *existing;
        auto view = std::make_unique<View>();
        view->impl = this;
        view->id = page.PageId();
        view->page = &page;
        view->content = webkit_user_content_manager_new();
        webkit_user_content_manager_register_script_message_handler(view->content, "devhost");
        g_signal_connect(view->content, "script-message-received::devhost", G_CALLBACK(OnReport), view.get());
        if (page.IsLegacy()) {
            webkit_user_content_manager_register_script_message_handler_with_reply(view->content, "external", nullptr);
            g_signal_connect(view->content, "script-message-with-reply-received::external", G_CALLBACK(OnExternal),
                             view.get());
            WebKitUserScript* script =
                webkit_user_script_new(ExternalObjectScript, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                       WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
            webkit_user_content_manager_add_script(view->content, script);
            webkit_user_script_unref(script);
        } else {
            webkit_user_content_manager_register_script_message_handler(view->content, "interOp");
            g_signal_connect(view->content, "script-message-received::interOp", G_CALLBACK(OnMessage), view.get());
        }
        view->view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "settings", settings,
                                                  "user-content-manager", view->content, nullptr));
        g_signal_connect(view->view, "load-changed", G_CALLBACK(OnLoadChanged), view.get());
        g_signal_connect(view->view, "load-failed", G_CALLBACK(OnLoadFailed), view.get());
        g_signal_connect(view->view, "decide-policy", G_CALLBACK(OnDecidePolicy), view.get());
        g_signal_connect(view->view, "close", G_CALLBACK(OnClose), view.get());
        view->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(view->window), 900, 700);
        gtk_container_add(GTK_CONTAINER(view->window), GTK_WIDGET(view->view));
        gtk_widget_show_all(view->window);
        View& opened = *view;
        views[opened.id] = std::move(view);
        return opened;
    }

    // Runs `script` in the page and waits for its end; undefined and null give no value.
    Evaluation Run(View& view, const std::string& script)
    {
        auto evaluation = std::make_shared<Evaluation>();
        auto* holder = new std::shared_ptr<Evaluation>(evaluation);
        webkit_web_view_evaluate_javascript(view.view, script.data(), static_cast<gssize>(script.size()), nullptr,
                                            nullptr, nullptr, OnEvaluated, holder);
        const int id = view.id;
        const auto deadline = std::chrono::steady_clock::now() + EvaluationLimit;
        while (!evaluation->done && Find(id) != nullptr && std::chrono::steady_clock::now() < deadline)
            Pump(true);
        if (!evaluation->done && evaluation->error.empty())
            evaluation->error = Find(id) == nullptr ? "the page went away" : "the script did not end";
        return *evaluation;
    }

    static void OnEvaluated(GObject* source, GAsyncResult* result, gpointer data)
    {
        std::unique_ptr<std::shared_ptr<Evaluation>> holder(static_cast<std::shared_ptr<Evaluation>*>(data));
        Evaluation& evaluation = **holder;
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
        evaluation.done = true;
        if (error != nullptr) {
            evaluation.error = error->message;
            g_error_free(error);
            return;
        }
        if (value == nullptr)
            return;
        if (jsc_value_is_object(value) && jsc_value_object_is_instance_of(value, "Promise")) {
            evaluation.error = "the script gave a promise, not a value";
        } else if (!jsc_value_is_undefined(value) && !jsc_value_is_null(value)) {
            evaluation.hasValue = true;
            evaluation.value = jsc_value_is_string(value) || jsc_value_is_number(value) || jsc_value_is_boolean(value)
                                   ? FromScript(value)
                                   : Platform::ScriptValue(StringOf(value));
        }
        g_object_unref(value);
    }

    Evaluation RunRecorded(Platform::WebPage& page, const std::string& script)
    {
        View* view = Find(page.PageId());
        if (view == nullptr)
            return {};
        Evaluation evaluation = Run(*view, script);
        if (!evaluation.error.empty())
            Platform::Record(PageName(page.PageId()) + " script failed: " + evaluation.error);
        return evaluation;
    }

    bool Busy(View& view)
    {
        // A page whose window is closed or not shown has nothing more to do for the user.
        NSWindow* window = view.page->HostWindow();
        if (window == nullptr || window->isClosed())
            return false;
        if (view.loading)
            return true;
        const Evaluation answer = Run(view, BusyQuery);
        return answer.hasValue && answer.value.IsBool() && answer.value.IntegerValue() != 0;
    }

    // Delivers the queued engine events in order; answers whether there were any.
    bool Deliver()
    {
        bool any = false;
        while (!events.empty()) {
            Event event = std::move(events.front());
            events.pop_front();
            any = true;
            DeliverOne(event);
            Drop(event);
        }
        return any;
    }

    void DeliverOne(Event& event)
    {
        View* view = Find(event.page);
        if (view == nullptr)
            return;
        Platform::WebPage& page = *view->page;
        const std::string name = PageName(event.page);
        switch (event.kind) {
        case Event::Kind::ScriptObject: page.WindowScriptObjectAvailable(); return;
        case Event::Kind::Finished:
            Platform::Record(name + " loaded");
            page.DidFinishLoad();
            return;
        case Event::Kind::Message:
            Platform::Record(name + " posts to interOp: " + event.text);
            page.PostMessage("interOp", event.body);
            return;
        case Event::Kind::Call: {
            std::string written;
            for (const Platform::ScriptValue& arg : event.args)
                written += (written.empty() ? "" : ", ") + arg.ToScript();
            Platform::Record(name + " calls external." + event.text + "(" + written + ")");
            std::string error;
            const auto result = page.CallObject("external", event.text, event.args, &error);
            if (!error.empty()) {
                Platform::Record(name + " got an error: " + error);
                webkit_script_message_reply_return_error_message(event.reply, error.c_str());
            } else {
                Platform::Record(name + " got " + (result ? result->ToScript() : "undefined"));
                JSCValue* value = ToScript(event.context, result.value_or(Platform::ScriptValue()));
                webkit_script_message_reply_return_value(event.reply, value);
                g_object_unref(value);
            }
            webkit_script_message_reply_unref(event.reply);
            event.reply = nullptr;
            return;
        }
        case Event::Kind::Policy: {
            const bool allowed = page.AllowNavigation(event.text, event.newWindow);
            Platform::Record(name + (event.newWindow ? " asks for a new window: " : " follows a link: ") + event.text +
                             (allowed && !event.newWindow ? " (allowed)" : " (ignored)"));
            if (allowed && !event.newWindow)
                webkit_policy_decision_use(event.decision);
            else
                webkit_policy_decision_ignore(event.decision);
            g_object_unref(event.decision);
            event.decision = nullptr;
            return;
        }
        }
    }

    // A page that has settled and whose address a "page ... close" line names: the user closes it.
    bool CloseSettledPages()
    {
        for (auto& [id, view] : views) {
            if (view->closing)
                continue;
            const char* shown = webkit_web_view_get_uri(view->view);
            const bool named = std::any_of(closePatterns.begin(), closePatterns.end(), [&](const std::string& p) {
                return Matches(view->url, p) || (shown != nullptr && Matches(shown, p));
            });
            NSWindow* window = view->page->HostWindow();
            if (!named || window == nullptr || window->isClosed())
                continue;
            view->closing = true;
            Platform::Record("the user closes " + WindowName(*window) + " (" + PageName(id) + " has settled)");
            window->close();
            return true;
        }
        return false;
    }

    // Engine signals: everything that reaches the add-on waits in the queue.
    static void OnReport(WebKitUserContentManager*, WebKitJavascriptResult* result, View* view)
    {
        JSCValue* value = webkit_javascript_result_get_js_value(result);
        Platform::Record(PageName(view->id) +
                         " says: " + (jsc_value_is_string(value) ? StringOf(value) : JsonOf(value)));
    }

    static void OnMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, View* view)
    {
        JSCValue* value = webkit_javascript_result_get_js_value(result);
        Event event;
        event.kind = Event::Kind::Message;
        event.page = view->id;
        event.body = DictionaryOf(value);
        event.text = JsonOf(value);
        view->impl->events.push_back(std::move(event));
    }

    static gboolean OnExternal(WebKitUserContentManager*, JSCValue* value, WebKitScriptMessageReply* reply, View* view)
    {
        Event event;
        event.kind = Event::Kind::Call;
        event.page = view->id;
        JSCValue* name = jsc_value_object_get_property(value, "name");
        event.text = StringOf(name);
        g_object_unref(name);
        JSCValue* args = jsc_value_object_get_property(value, "args");
        JSCValue* length = jsc_value_object_get_property(args, "length");
        const int count = jsc_value_to_int32(length);
        g_object_unref(length);
        for (int i = 0; i < count; ++i) {
            JSCValue* arg = jsc_value_object_get_property_at_index(args, static_cast<guint>(i));
            event.args.push_back(FromScript(arg));
            g_object_unref(arg);
        }
        g_object_unref(args);
        event.reply = webkit_script_message_reply_ref(reply);
        event.context = JSC_CONTEXT(g_object_ref(jsc_value_get_context(value)));
        view->impl->events.push_back(std::move(event));
        return TRUE;
    }

    static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent load, View* view)
    {
        if (load == WEBKIT_LOAD_STARTED) {
            view->loading = true;
            view->failed = false;
        } else if (load == WEBKIT_LOAD_COMMITTED) {
            Event event;
            event.kind = Event::Kind::ScriptObject;
            event.page = view->id;
            view->impl->events.push_back(std::move(event));
        } else if (load == WEBKIT_LOAD_FINISHED) {
            view->loading = false;
            if (!view->failed) {
                Event event;
                event.page = view->id;
                view->impl->events.push_back(std::move(event));
            }
        }
    }

    static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, View* view)
    {
        view->failed = true;
        Platform::Record(PageName(view->id) + " could not load " + (uri != nullptr ? uri : "") + ": " +
                         (error != nullptr ? error->message : "unknown error"));
        return TRUE;  // no error page: the window stays as it was
    }

    static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                   View* view)
    {
        if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE)
            return FALSE;
        WebKitNavigationAction* action =
            webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        const bool newWindow = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION;
        // Loads the add-on asked for, and the site's redirects, are not the page's to decide.
        if (!newWindow && webkit_navigation_action_get_navigation_type(action) != WEBKIT_NAVIGATION_TYPE_LINK_CLICKED)
            return FALSE;
        Event event;
        event.kind = Event::Kind::Policy;
        event.page = view->id;
        event.text = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
        event.newWindow = newWindow;
        event.decision = WEBKIT_POLICY_DECISION(g_object_ref(decision));
        view->impl->events.push_back(std::move(event));
        return TRUE;
    }

    static void OnClose(WebKitWebView*, View* view)
    {
        Platform::Record(PageName(view->id) + " asks to close its window (a page cannot close it)");
    }
};

WebKitPages::WebKitPages() : impl_(std::make_unique<Impl>()) {}

WebKitPages::~WebKitPages() = default;

std::unique_ptr<WebKitPages> WebKitPages::Create(std::string* error)
{
    if (!gtk_init_check(nullptr, nullptr)) {
        if (error != nullptr)
            *error = "no display can be opened (DISPLAY is \"" +
                     std::string(g_getenv("DISPLAY") ? g_getenv("DISPLAY") : "") + "\"); run it under xvfb-run -a";
        return nullptr;
    }
    std::unique_ptr<WebKitPages> pages(new WebKitPages());
    Impl& impl = *pages->impl_;
    impl.context = webkit_web_context_new_ephemeral();
    webkit_web_context_set_cache_model(impl.context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    // The local service listens on loopback: no proxy of the environment may stand between.
    webkit_website_data_manager_set_network_proxy_settings(webkit_web_context_get_website_data_manager(impl.context),
                                                           WEBKIT_NETWORK_PROXY_MODE_NO_PROXY, nullptr);
    impl.settings = webkit_settings_new();
    webkit_settings_set_enable_write_console_messages_to_stdout(impl.settings, FALSE);
    webkit_settings_set_javascript_can_open_windows_automatically(impl.settings, FALSE);
    // A blocking turn of the main context ends at the next tick at the latest.
    impl.ticker = g_timeout_add(
        10, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    return pages;
}

LineProblem WebKitPages::RunPending()
{
    Impl& impl = *impl_;
    for (;;) {
        Impl::PumpAll();
        if (impl.Deliver())
            continue;
        bool busy = false;
        for (auto& [id, view] : impl.views) {
            if (impl.Busy(*view)) {
                busy = true;
                break;
            }
        }
        if (!impl.events.empty())
            continue;
        if (!busy) {
            if (impl.CloseSettledPages())
                continue;
            return {};
        }
        const auto until = std::chrono::steady_clock::now() + BusyPoll;
        while (impl.events.empty() && std::chrono::steady_clock::now() < until)
            Impl::Pump(true);
    }
}

std::string WebKitPages::TakeLine(const PageLine& line)
{
    // The real pages act by themselves, so no page line waits to be played: none fails
    // the scenario for never having run.
    switch (line.verb) {
    case PageLine::Verb::Forget: std::erase(impl_->closePatterns, line.pattern); return {};
    case PageLine::Verb::MayNotOpen: return {};
    case PageLine::Verb::Step:
        if (line.step.kind == PageStep::Kind::Close) {
            impl_->closePatterns.push_back(line.pattern);
            return {};
        }
        break;
    case PageLine::Verb::Body: break;
    }
    std::string text;
    for (const std::string& word : line.words)
        text += (text.empty() ? "" : " ") + word;
    Platform::Record("not played by the real page engine (its page does what its own script says): " + text);
    return {};
}

void WebKitPages::Load(Platform::WebPage& page, const std::string& url)
{
    Impl::View& view = impl_->Open(page);
    view.url = url;
    view.loading = true;
    view.closing = false;
    Platform::Record(PageName(page.PageId()) + (page.IsLegacy() ? " (legacy)" : "") + " loads " + url);
    webkit_web_view_load_uri(view.view, url.c_str());
}

std::string WebKitPages::Evaluate(Platform::WebPage& page, const std::string& script)
{
    Platform::Record(PageName(page.PageId()) + " evaluates " + script);
    const Impl::Evaluation evaluation = impl_->RunRecorded(page, script);
    if (!evaluation.hasValue)
        return {};
    return evaluation.value.IsText() ? evaluation.value.Text() : evaluation.value.ToScript();
}

std::optional<Platform::ScriptValue> WebKitPages::CallFunction(Platform::WebPage& page, const std::string& function,
                                                               const std::vector<Platform::ScriptValue>& args)
{
    const std::string call = CallScript(function, args);
    Platform::Record(PageName(page.PageId()) + " function " + call);
    const Impl::Evaluation evaluation = impl_->RunRecorded(page, call);
    if (!evaluation.hasValue)
        return std::nullopt;
    return evaluation.value;
}

void WebKitPages::PageGone(Platform::WebPage& page)
{
    Impl& impl = *impl_;
    const auto it = impl.views.find(page.PageId());
    if (it == impl.views.end())
        return;
    for (auto event = impl.events.begin(); event != impl.events.end();) {
        if (event->page == page.PageId()) {
            Impl::Drop(*event);
            event = impl.events.erase(event);
        } else {
            ++event;
        }
    }
    Impl::Destroy(*it->second);
    impl.views.erase(it);
}

}  // namespace DevHost

// The status item and its menu over NSStatusBar, NSStatusItem, NSMenu and NSMenuItem. The NSMenu
// is rebuilt from the core's Menu value in menuNeedsUpdate:, just after the core's delegate has
// rebuilt that value; each item's action reaches the core with the core's item as sender. The
// top menu shows each item's enabled flag as set; submenus keep AppKit's automatic enabling.
// An action runs one turn of the main run loop after the click, once the menu has closed. An
// exception thrown by the core ends the update or the action quietly. Not supported: modifier
// keys other than AppKit's default for key equivalents, updating a menu while it is open.

#import <AppKit/AppKit.h>

#include <utility>

#include "platform/macos/mac_conversions.h"
#include "platform/macos/mac_services.h"
#include "platform/macos/portable/entry_guard.h"
#include "platform/status_bar.h"

// Runs one core item's action with that item as sender. Its menu item keeps it alive.
@interface KVLMenuAction : NSObject
- (instancetype)initWithItem:(std::shared_ptr<kavelin::platform::MenuItem>)item;
- (void)kavelinPerformItem:(id)sender;
@end

@implementation KVLMenuAction {
    std::shared_ptr<kavelin::platform::MenuItem> _item;
}

- (instancetype)initWithItem:(std::shared_ptr<kavelin::platform::MenuItem>)item {
    if ((self = [super init]))
        _item = std::move(item);
    return self;
}

- (void)kavelinPerformItem:(id)sender {
    (void)sender;
    // NOTE: an alert, the administrator prompt or an Apple event run from inside the action,
    // while the menu window is still fading out, can leave an invisible window over the status
    // item that swallows its clicks. The action waits for the default run-loop mode, which the
    // main loop enters again only once menu tracking has ended. The block owns a copy of the
    // item: the action may rebuild the menu, which releases this object and its item.
    std::shared_ptr<kavelin::platform::MenuItem> item = _item;
    CFRunLoopRef mainLoop = CFRunLoopGetMain();
    CFRunLoopPerformBlock(mainLoop, kCFRunLoopDefaultMode, ^{
      @autoreleasepool {
          kavelin::platform::runGuarded("action du menu", [&item] { item->action(*item); });
      }
    });
    CFRunLoopWakeUp(mainLoop);
}

@end

namespace kavelin::platform {

namespace {

NSControlStateValue controlState(ItemState state) {
    switch (state) {
    case ItemState::on:
        return NSControlStateValueOn;
    case ItemState::mixed:
        return NSControlStateValueMixed;
    case ItemState::off:
        break;
    }
    return NSControlStateValueOff;
}

void render(const Menu& source, NSMenu* target);

NSMenuItem* renderedItem(const std::shared_ptr<MenuItem>& item) {
    if (item->isSeparator)
        return [NSMenuItem separatorItem];
    NSMenuItem* rendered = [[NSMenuItem alloc] initWithTitle:displayString(item->title)
                                                      action:nil
                                               keyEquivalent:displayString(item->keyEquivalent)];
    if (item->action) {
        KVLMenuAction* target = [[KVLMenuAction alloc] initWithItem:item];
        rendered.target = target;
        rendered.action = @selector(kavelinPerformItem:);
        // A menu item does not own its target; its represented object lives as long as it does.
        rendered.representedObject = target;
    }
    rendered.enabled = item->enabled;
    rendered.state = controlState(item->state);
    if (item->toolTip)
        rendered.toolTip = displayString(*item->toolTip);
    if (item->symbolImage)
        rendered.image = [NSImage imageWithSystemSymbolName:displayString(*item->symbolImage)
                                   accessibilityDescription:nil];
    if (item->submenu) {
        NSMenu* submenu = [[NSMenu alloc] initWithTitle:displayString(item->submenu->title)];
        render(*item->submenu, submenu);
        rendered.submenu = submenu;
    }
    return rendered;
}

void render(const Menu& source, NSMenu* target) {
    [target removeAllItems];
    for (const auto& item : source.items) {
        if (item)
            [target addItem:renderedItem(item)];
    }
}

} // namespace

} // namespace kavelin::platform

// Lets the core's delegate rebuild the menu value before each opening, then renders it.
@interface KVLMenuRenderer : NSObject <NSMenuDelegate>
- (instancetype)initWithMenu:(std::shared_ptr<kavelin::platform::Menu>)menu
                    delegate:(kavelin::platform::MenuDelegate*)delegate;
@end

@implementation KVLMenuRenderer {
    std::shared_ptr<kavelin::platform::Menu> _menu;
    kavelin::platform::MenuDelegate* _delegate;
}

- (instancetype)initWithMenu:(std::shared_ptr<kavelin::platform::Menu>)menu
                    delegate:(kavelin::platform::MenuDelegate*)delegate {
    if ((self = [super init])) {
        _menu = std::move(menu);
        _delegate = delegate;
    }
    return self;
}

- (void)menuNeedsUpdate:(NSMenu*)menu {
    @autoreleasepool {
        kavelin::platform::Menu& value = *_menu;
        kavelin::platform::MenuDelegate* delegate = _delegate;
        // A rebuild cut short leaves the menu as it was last shown.
        kavelin::platform::runGuarded("mise à jour du menu", [&value, delegate, menu] {
            if (delegate)
                delegate->menuNeedsUpdate(value);
            kavelin::platform::render(value, menu);
        });
    }
}

@end

namespace kavelin::platform {

namespace {

class MacStatusButton final : public StatusButton {
public:
    explicit MacStatusButton(NSStatusBarButton* button) : button(button) {}

    void setImage(const Image* image) override {
        @autoreleasepool {
            button.image = image ? nsImage(*image) : nil;
        }
    }

    void setToolTip(const std::string& toolTip) override {
        @autoreleasepool {
            button.toolTip = displayString(toolTip);
        }
    }

private:
    NSStatusBarButton* button;
};

class MacStatusItem final : public StatusItem {
public:
    explicit MacStatusItem(NSStatusItem* item) : item(item) {}

    // Releasing the item takes it out of the status bar.
    ~MacStatusItem() override { item.menu.delegate = nil; }

    StatusButton* button() override {
        if (!statusButton) {
            NSStatusBarButton* button = item.button;
            if (!button)
                return nullptr;
            statusButton = std::make_unique<MacStatusButton>(button);
        }
        return statusButton.get();
    }

    void setMenu(std::shared_ptr<Menu> menu, MenuDelegate* delegate) override {
        @autoreleasepool {
            if (!menu) {
                item.menu = nil;
                renderer = nil;
                return;
            }
            NSMenu* rendered = menu->title.empty()
                                   ? [[NSMenu alloc] init]
                                   : [[NSMenu alloc] initWithTitle:displayString(menu->title)];
            // The menu holds its delegate weakly: this object keeps the renderer alive.
            renderer = [[KVLMenuRenderer alloc] initWithMenu:std::move(menu) delegate:delegate];
            rendered.delegate = renderer;
            rendered.autoenablesItems = NO;
            item.menu = rendered;
        }
    }

private:
    NSStatusItem* item;
    std::unique_ptr<MacStatusButton> statusButton;
    KVLMenuRenderer* renderer = nil;
};

class MacStatusBar final : public StatusBar {
public:
    std::unique_ptr<StatusItem> statusItemWithLength(double length) override {
        @autoreleasepool {
            return std::make_unique<MacStatusItem>(
                [[NSStatusBar systemStatusBar] statusItemWithLength:length]);
        }
    }
};

} // namespace

std::unique_ptr<StatusBar> makeMacStatusBar() {
    return std::make_unique<MacStatusBar>();
}

} // namespace kavelin::platform

// The window plug-in's members against what the frame window really does;
// wintest reads the frame's rectangle, styles and answers to messages.
var t = window.external.test;
var w = window.external.window;
var x = window.external.wintest;
var E_NOTIMPL = -2147467263, E_INVALIDARG = -2147024809;

function fails(code, f, name) {
  try { f(); t.ok(false, name + ' raises'); } catch (e) { t.equal(e.number, code, name); }
}

function calls(name) {
  return function () { t.count(name); };
}

function geometry() {
  w.show(false);
  t.ok(!w.isVisible(), 'show(false) hides the frame');
  w.show(true);
  t.ok(w.isVisible(), 'show(true) shows the frame');
  t.equal(w.setWindowPos(100, 120, 400, 300), true, 'setWindowPos answers true');
  t.equal(x.rect(), '100,120,500,420', 'setWindowPos moves and sizes the outer rectangle');
  t.equal(w.left + ',' + w.top + ',' + w.width + ',' + w.height, '100,120,400,300',
          'left, top, width and height read the outer rectangle');
  w.width = 450;
  w.height = 310;
  w.left = 50;
  w.top = 60;
  t.equal(x.rect(), '50,60,500,370', 'writing one edge keeps the others');
  fails(E_INVALIDARG, function () { w.width = 0; }, 'a zero width');
  fails(E_INVALIDARG, function () { w.setWindowPos(1, 2, 3, 0); }, 'a zero setWindowPos height');
  t.ok(w.workAreaWidth > 0 && w.workAreaHeight > 0, 'the work area has a size');
  w.centerWindow();
  t.ok(Math.abs(w.left - Math.floor((w.workAreaWidth - 450) / 2)) <= 1, 'centerWindow centres horizontally');
}

function titleAndStyles() {
  w.title = 'Ombrel window';
  t.equal(w.title, 'Ombrel window', 'title round-trips');
  var long = '';
  while (long.length < 1200) long += 'abcdefghij';
  w.title = long;
  t.equal(w.title.length, 999, 'a long title reads back cut to 999 characters');
  w.minimizeBox = false;
  t.equal(x.style() & 0x20000, 0, 'minimizeBox false clears the style bit');
  w.minimizeBox = true;
  t.equal(x.style() & 0x20000, 0x20000, 'minimizeBox true sets it');
  w.maximizeBox = false;
  t.equal(x.style() & 0x10000, 0, 'maximizeBox false clears the style bit');
  w.maximizeBox = true;
  w.topMost = true;
  t.equal(x.exStyle() & 8, 8, 'topMost puts the frame into the topmost band');
  w.topMost = false;
  t.equal(x.exStyle() & 8, 0, 'and takes it out');
  fails(E_NOTIMPL, function () { return w.topMost; }, 'a write-only member read');
  fails(E_INVALIDARG, function () { w.topMost = 1; }, 'a number for a boolean member');
}

function trackSizes() {
  t.equal(x.trackSize(), '1,2,30000,40000', 'tracking sizes never written keep the defaults');
  w.minWidth = 200;
  w.maxHeight = 700;
  t.equal(x.trackSize(), '200,2,30000,700', 'written tracking sizes are applied');
  fails(E_INVALIDARG, function () { w.minWidth = 0; }, 'a zero minWidth');
  fails(E_NOTIMPL, function () { return w.minWidth; }, 'reading minWidth');
}

function events() {
  w.onClose = function () { t.count('onClose'); return false; };
  t.ok(x.sysCommand(0xF060), 'a close command that onClose refuses keeps the window');
  t.equal(t.count('onClose'), 2, 'onClose ran once');
  w.onMaximize = calls('onMaximize');
  x.sysCommand(0xF032);
  t.equal(t.count('onMaximize'), 1, 'a caption double-click maximise skips onMaximize');
  t.ok(x.isZoomed(), 'and maximises');
  w.onRestore = calls('onRestore');
  x.sysCommand(0xF120);
  t.equal(t.count('onRestore'), 2, 'a restore command calls onRestore');
  t.ok(!x.isZoomed(), 'and restores');
  w.onMinimize = function () { t.count('onMinimize'); return false; };
  x.sysCommand(0xF020);
  t.ok(!x.isIconic(), 'a minimise that onMinimize refuses leaves the window as it was');
  w.minimize();
  t.equal(t.count('onMinimize'), 2, 'minimize() does not call onMinimize');
  t.ok(x.isIconic(), 'minimize() minimises');
  w.show(true);
  t.ok(!x.isIconic() && w.isVisible(), 'show(true) restores a minimised window');
  w.onActivate = calls('onActivate');
  w.onInactivate = calls('onInactivate');
  x.send(0x86, 1);
  x.send(0x86, 0);
  t.equal(t.count('onActivate') + ',' + t.count('onInactivate'), '2,2', 'activation events');
  w.onShutdown = function () { t.count('onShutdown'); return false; };
  t.equal(x.send(0x11, 0), 1, 'the session may end whatever onShutdown answers');
  t.equal(t.count('onShutdown'), 2, 'onShutdown ran');
  fails(E_INVALIDARG, function () { w.onClose = 'no function'; }, 'a string for an event');
}

function captionAndResize() {
  w.caption = false;
  t.equal(x.style() & 0xC00000, 0, 'caption false removes the caption');
  w.resize = true;
  t.equal(x.style() & 0x40000, 0, 'a caption-less window has no sizing border');
  var view = x.viewClient().split(',');
  var right = Number(view[2]), bottom = Number(view[3]);
  t.equal(x.viewHitTest(2, 50), 10, 'the left band of the page resizes');
  t.equal(x.viewHitTest(right - 1, bottom - 1), 17, 'the bottom-right corner resizes');
  t.equal(x.viewHitTest(50, 50), 1, 'the middle of the page is client area');
  x.edgePress(2, 50);
  w.resize = false;
  t.equal(x.viewHitTest(2, 50), 1, 'resize false turns the bands off');
  w.caption = true;
  t.equal(x.style() & 0xC00000, 0xC00000, 'caption true brings the caption back');
  w.resize = true;
  t.equal(x.style() & 0x40000, 0x40000, 'and resize true the sizing border');
  t.equal(x.viewHitTest(2, 50), 1, 'while the page bands stay off');
}

function taskbarMsgAndMenu() {
  var supported = w.isSupportTaskbarProgress();
  t.equal(w.setTaskbarProgress(3, 10), true, 'setTaskbarProgress answers true');
  t.equal(w.setTaskbarProgressState('PAUSE'), supported, 'the state word ignores case');
  t.equal(w.setTaskbarProgressState('paused'), false, 'an unknown state word answers false');
  fails(E_INVALIDARG, function () { w.setTaskbarProgress(1, 0); }, 'a zero progress total');
  var m = w.msg;
  t.ok(m !== null && typeof m == 'object', 'msg is an object');
  t.ok(w.msg === m, 'and the same object on every read');
  w.menu = {};
  t.ok(w.menu === null, 'an object that is not a menu is not attached');
  t.ok(!x.hasMenu(), 'and the frame has no menu bar');
  var bar = window.external.menu.createMenu('windowMenu');
  var chosen = 0;
  bar.appendMenu({ name: 'File', callback: function () { chosen++; } });  // command 2000
  w.menu = bar;
  t.ok(w.menu === bar, 'a menu object is attached');
  t.ok(x.hasMenu(), 'as the menu bar of the frame');
  x.send(0x111, 2000);
  t.equal(chosen, 1, 'its commands reach its items');
  x.send(0x111, 2999);
  x.send(0x111, 1999);
  t.equal(chosen, 1, 'other commands do not');
  fails(E_NOTIMPL, function () { w.quit(1, 2); }, 'quit with two arguments');
  fails(E_INVALIDARG, function () { w.quit('1'); }, 'quit with a string');
}

function closing() {
  // close() does not ask onClose; the frame's destruction calls onClosed.
  w.onClose = function () { t.ok(false, 'close() must not call onClose'); return false; };
  w.onClosed = function () {
    t.ok(true, 'onClosed runs when the frame is destroyed');
    t.done();
  };
  t.equal(w.close(), true, 'close answers true');
}

geometry();
titleAndStyles();
trackSizes();
createWindow({ url: 'pages\\closer.html' });
events();
taskbarMsgAndMenu();
// The page view's bands work once the page has loaded (after its scripts ran).
waitFor('the document to complete', function () { return t.notices.indexOf('D') >= 0; }, function () {
  captionAndResize();
  waitFor('the band press and the closing of the closer window', function () {
    return x.lastSizeCommand() != 0 && t.count('closer-closed', 0) > 0;
  }, function () {
    t.equal(x.lastSizeCommand(), 0xF001, 'a press on the left band sizes the frame from the left');
    t.equal(t.count('closer-onClose') + ',' + t.count('closer-closed'), '2,2',
            'a close command whose onClose answers nothing closes the window');
    closing();
  });
});

// Menus that would contain themselves, submenus that outlive the menu that
// held them, menu bar items past the first thousand identifiers, disabling an
// item that opens a submenu, and clearing the menu bar and window events.
// Identifiers count from 2000 in every process and every append takes one,
// so the page knows each item's identifier.
var t = window.external.test;
var x = window.external.wintest;
var menus = queryModule('menu');
var win = queryModule('window');
var frame = 'OmbrelBrowserWindow';
var taken = 0;
var ran = [];

function append(menu, options) {
  taken++;
  return menu.appendMenu(options);
}
function item(name) {
  return { name: name, callback: function () { ran.push(name); } };
}
function pressLast() { t.pressButton(frame, 2000 + taken - 1); }

// Checks until ran holds what is expected, for at most 5 s.
function whenRan(expected, name, next) {
  var end = new Date().getTime() + 5000;
  (function check() {
    if (ran.join(',') == expected || new Date().getTime() > end) {
      t.equal(ran.join(','), expected, name);
      ran = [];
      next();
    } else {
      setTimeout(check, 20);
    }
  })();
}

// A menu never contains itself, so a command search through it ends.
var loop = menus.createMenu('windowMenu');
var b = menus.createMenu();
var c = menus.createMenu();
t.ok(!append(loop, { name: 'Self', subMenu: loop }), 'a menu is not its own submenu');
t.ok(append(loop, { name: 'B', subMenu: b }) && append(b, { name: 'C', subMenu: c }),
     'submenus nest');
t.ok(!append(c, { name: 'Loop', subMenu: loop }), 'a menu does not reach itself through submenus');
append(c, item('deep'));
win.menu = loop;
t.pressButton(frame, 2000 + taken + 10);  // no item has it: the whole tree is searched
pressLast();

whenRan('deep', 'a search for an identifier no item has ends; the deep item ran', function () {
  // A submenu lives on when the menu that held it goes.
  var shared = menus.createMenu();
  append(shared, item('kept'));
  (function () {
    var parent = menus.createMenu();
    append(parent, { name: 'Shared', subMenu: shared });
  })();
  t.equal(shared.getItemCount(), 1, 'a submenu outlives its parent');
  t.ok(append(shared, item('later')) && shared.getItemCount() == 2, 'and still takes items');

  // Items appended after the first thousand identifiers still run from the
  // menu bar.
  var filler = menus.createMenu();
  while (taken < 1100) append(filler, { separator: true });
  var bar = menus.createMenu('windowMenu');
  var file = menus.createMenu();
  append(bar, item('late'));
  var lateId = 2000 + taken - 1;
  append(bar, { name: 'File', subMenu: file });
  append(file, item('open'));
  win.menu = bar;
  t.pressButton(frame, lateId);
  pressLast();
  whenRan('late,open', 'menu bar items past identifier 3000 run', function () {
    // The item that opens a submenu is disabled and enabled by its name.
    t.ok(bar.enable('file', false), 'enable finds the submenu item');
    t.equal(x.menuState(1) & 3, 1, 'and grays it');
    bar.enable('FILE', true);
    t.equal(x.menuState(1) & 3, 0, 'and enables it again');

    // Script clears the menu bar and the window events with null or undefined.
    win.menu = null;
    t.ok(!x.hasMenu() && win.menu === null, 'menu = null removes the menu bar');
    win.onMinimize = function () { return false; };
    x.sysCommand(0xF020);
    t.ok(!x.isIconic(), 'onMinimize refuses the minimise');
    win.onMinimize = null;
    win.onClose = undefined;
    x.sysCommand(0xF020);
    t.ok(x.isIconic(), 'once cleared it no longer does');
    x.sysCommand(0xF120);
    t.done();
  });
});

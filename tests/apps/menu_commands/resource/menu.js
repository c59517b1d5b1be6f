// Menu commands reach their call-backs: a pop-up menu is shown and an item
// chosen by keyboard (the menupick helper); items with a context get it as
// their only argument, items without get none; a submenu item runs through
// its parent; disabled and window menus behave as such.
var t = window.external.test;
var pick = window.external.menupick;
var menus = queryModule('menu');
var log = [];

var main = menus.createMenu();
var sub = menus.createMenu('PopupMenu');
t.ok(main.appendMenu({ name: 'One', callback: function () { log.push('one/' + arguments.length); } }),
     'an item with a call-back is appended');
t.ok(main.appendMenu({ name: 'Two', context: 'ctx2',
                       callback: function (c) { log.push('two/' + arguments.length + '/' + c); } }),
     'an item with a context is appended');
t.ok(sub.appendMenu({ name: 'Inner', context: 5,
                      callback: function (c) { log.push('inner/' + c); } }), 'a submenu item');
t.ok(main.appendMenu({ separator: true }), 'a separator needs no name');
t.ok(main.appendMenu({ name: 'More', subMenu: sub }), 'a submenu is appended');
t.ok(!main.appendMenu({ callback: function () {} }), 'an item without a name is refused');
t.ok(main.appendMenu({ name: 'Off' }), 'an item without a call-back is appended (disabled)');
t.equal(main.getItemCount(), 5, 'the menu counts its items');
t.equal(main.getSubMenu('more').getItemCount(), 1, 'getSubMenu finds the submenu ignoring case');

function choose(keys, expected, name) {
  log = [];
  pick.keys(keys, 5000);
  t.ok(main.popup(20, 20), name + ': popup answers true');
  t.equal(log.join(','), expected, name);
}

choose('DE', 'one/0', 'the first item runs without arguments');
choose('DDE', 'two/1/ctx2', 'the second item gets its context');
choose('DDDRE', 'inner/5', 'a submenu item runs through its parent');
choose('UE', '', 'choosing a disabled item runs nothing');
t.ok(main.enable('OFF', true), 'enable finds an item ignoring case');
t.equal(pick.shown(), 4, 'every popup showed a menu');

var bar = menus.createMenu('windowMenu');
bar.appendMenu({ name: 'File', callback: function () {} });
t.ok(!bar.popup(), 'a window menu cannot pop up');
t.ok(!menus.createMenu().popup(1, 1), 'an empty menu does not pop up');
var raised = false;
try { menus.createMenu('contextMenu'); } catch (e) { raised = true; }
t.ok(raised, 'an unknown kind raises a script error');
t.done();

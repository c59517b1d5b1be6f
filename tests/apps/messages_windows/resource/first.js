// Messages within one window and between two windows of one process, and
// unique window names. The first window answers the second's message by
// sending back to it while the second still waits in its send.
var t = window.external.test;
var win = queryModule('window');
var msg = win.msg;
var got = [];

msg.uniqueID = 'first';
t.equal(msg.uniqueID, 'first', 'uniqueID reads back');
t.ok(msg.registerMsg('self', function (p, c) { got.push(p + '/' + c); }, 'ctxA'), 'registerMsg');
t.ok(!msg.registerMsg('self', function () { got.push('replaced'); }), 'a second registration is refused');
t.ok(msg.sendMsg('first', 'self', 'hello'), 'a window reaches itself');
t.ok(msg.sendMsg('first', 'self'), 'a message without payload');
t.ok(msg.sendMsg('first', 'SELF', 'x'), 'a differently cased name still finds the window');
t.equal(got.join(','), 'hello/ctxA,/ctxA', 'handlers got payload and context; names are case-sensitive');
t.ok(!msg.sendMsg('nobody', 'self', 'x'), 'no window carries the id');

msg.registerMsg('nul', function (p) { t.equal(p.length, 3, 'a payload keeps its NUL characters'); });
msg.sendMsg('first', 'nul', 'a\u0000b');

t.ok(win.isUniqueWindow('messagesSolo'), 'the first claim of a name is unique');
t.ok(!win.showExistedWindow(), 'the holder has no other window to show');

msg.registerMsg('fromSecond', function (p, c) {
  t.equal(p, 'hi from second', 'the second window reached the first');
  t.ok(msg.sendMsg('second', 'reply', 'pong'), 'the first answers while the second waits');
});
msg.registerMsg('finished', function (p) {
  t.equal(p, 'ok', 'the second window finished');
  setTimeout(function () { t.done(); }, 0);
});
createWindow({ url: 'second.html' });

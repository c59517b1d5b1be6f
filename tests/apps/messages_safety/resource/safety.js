// A window name that the frame already uses for another property is refused
// as a message id, a window gives up the marker of a name it no longer
// claims, and a peer process that stops taking messages freezes neither
// "sendMsg" nor "showExistedWindow", while a slow but live one completes.
var t = window.external.test;
var x = window.external.wintest;
var win = queryModule('window');
var msg = win.msg;
function now() { return new Date().getTime(); }

msg.uniqueID = 'safeMain';
x.setProp('ForeignRecord', 77);
msg.uniqueID = 'ForeignRecord';
t.equal(msg.uniqueID, 'safeMain', 'uniqueID refuses the name of a property the frame already has');
t.equal(x.getProp('ForeignRecord'), 77, 'and leaves that property as it was');

// The platform keeps the frame's subclass record as a property too;
// overwriting it would crash the host at the next message.
var names = x.propNames().split(','), platform = '';
for (var i = 0; i < names.length; i++) {
  if (names[i] != 'safeMain' && names[i] != 'ForeignRecord') platform = names[i];
}
t.ok(platform != '', 'the frame carries a property of the platform: ' + names.join(','));
msg.uniqueID = platform;
t.equal(msg.uniqueID, 'safeMain', 'its name is refused as well');
t.equal(x.send(0, 0), 0, 'and the frame still takes messages');

t.ok(win.isUniqueWindow('safeFirst') && x.getProp('safeFirst_UniquePropName') == 0x10101,
     'a claimed name marks the frame');
win.isUniqueWindow('safeSecond');
t.equal(x.getProp('safeFirst_UniquePropName'), 0, 'claiming another name gives up that marker');

var pongs = [];
msg.registerMsg('pong', function (payload) { pongs.push(payload); });
t.ok(x.startPeer('safeMain peerctx safePeer'), 'the peer process starts');
t.ok(x.waitForId('safePeer', 10000, false), 'the peer carries its id within 10 s');

var start = now();
t.ok(msg.sendMsg('safePeer', 'slow', '1500'), 'a slow peer is reached');
t.ok(now() - start >= 1400 && pongs.join() == '1500|peerctx',
     'and its handler completes, answering while the sender waits');

msg.sendMsg('safePeer', 'claim', 'safeHung');
t.ok(!win.isUniqueWindow('safeHung'), 'the peer holds a window name');
msg.sendMsg('safePeer', 'freeze', '20000');
t.ok(x.waitForId('safePeer', 15000, true), 'the peer stops taking messages (hung within 15 s)');
start = now();
t.ok(msg.sendMsg('safePeer', 'ping', 'x'), 'a hung peer is still found');
t.ok(now() - start < 2000, 'but sendMsg does not wait for it: ' + (now() - start) + ' ms');
start = now();
t.ok(!win.showExistedWindow(), 'a hung holder of the name is not shown');
t.ok(now() - start < 2000, 'and showExistedWindow does not wait for it: ' + (now() - start) + ' ms');
x.stopPeer();
t.done();

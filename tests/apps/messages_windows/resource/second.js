var t = window.external.test;
var win = queryModule('window');
var msg = win.msg;
var replies = [];

msg.uniqueID = 'other';
msg.uniqueID = 'second';
t.equal(msg.uniqueID, 'second', 'the second id is the one read back');
msg.registerMsg('reply', function (p) { replies.push(p); });
t.ok(msg.sendMsg('first', 'fromSecond', 'hi from second'), 'the second sends to the first');
t.equal(replies.join(','), 'pong', 'the answer arrived during the send');
t.ok(msg.sendMsg('other', 'reply', 'again'), 'the earlier id still reaches this window');
t.equal(replies.length, 2, 'both ids reach the window');

t.ok(!win.isUniqueWindow('messagesSolo'), 'a second claim of the name is not unique');
t.ok(win.showExistedWindow(), 'the second window brings the holder to the front');
t.ok(msg.unregisterMsg('reply') && msg.unregisterMsg('reply'), 'unregisterMsg answers true twice');
msg.sendMsg('first', 'finished', 'ok');

// The sending side of the messages bench: waits until a window answers to
// the receiver's id, then times n "sendMsg" round trips (n=<count> on the
// command line) and prints "messages-sample n=<n> us=<microseconds for all>"
// through the probe plug-in. With quitReceiver true the receiver is told to
// end too (it runs in another process).
function runSender(quitReceiver) {
  var probe = window.external.probe;
  var msg = queryModule('window').msg;
  var n = parseInt(queryModule('system').cmdArgs.getArgPair('n'), 10) || 1000;
  var target = 'ombrel-bench-receiver';
  var tries = 0;
  function measure() {
    try {
      var t = new Date().getTime();
      for (var i = 0; i < n; i++) msg.sendMsg(target, 'ping', 'payload');
      var ms = new Date().getTime() - t;
      if (quitReceiver) msg.sendMsg(target, 'quit');
      probe.print('messages-sample n=' + n + ' us=' + ms * 1000);
      probe.quit(0);
    } catch (e) {
      // A failure is printed, so the bench says why and does not wait.
      probe.print('messages-error ' + e.number + ' ' + e.message);
      probe.quit(1);
    }
  }
  function waitForReceiver() {
    // An unregistered name: the receiver refuses it, the send still finds it.
    if (msg.sendMsg(target, 'hello')) {
      measure();
    } else if (++tries > 2000) {
      probe.print('messages-sample error=no-receiver');
      probe.quit(1);
    } else {
      setTimeout(waitForReceiver, 10);
    }
  }
  waitForReceiver();
}

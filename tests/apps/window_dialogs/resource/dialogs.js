// Message boxes and file and folder dialogs, closed the way a user would,
// and dragging the window by elements that carry dragWindow.
var t = window.external.test;
var w = window.external.window;
var x = window.external.wintest;

function pageLoaded() { return t.notices.indexOf('D') >= 0; }

function messageBoxes() {
  w.show(true);
  t.watch('#32770', 'Greeting', 5000);
  var order = [];
  var shown = w.messageBox({ caption: 'Greeting', text: 'Hello', onOk: function () { order.push('onOk'); } });
  order.push('returned');
  t.equal(shown, true, 'messageBox answers true once the box was shown');
  t.equal(order.join(','), 'onOk,returned', 'OK calls onOk before messageBox returns');
  t.equal(t.seen('#32770'), 1, 'the box was a dialog window');

  x.pressInDialog(7, 5000);
  var answered = '';
  w.messageBox({ caption: 'Question', text: 'Sure?', type: 'YESNO',
                 onYes: function () { answered = 'yes'; }, onNo: function () { answered = 'no'; } });
  t.equal(answered, 'no', 'pressing No calls onNo');

  t.watch('#32770', '', 5000);
  alert('from alert');
  t.equal(t.seen('#32770'), 2, 'alert shows the window message box');
}

function fileDialogs() {
  x.pressInDialog(2, 5000);
  t.ok(w.selectFile({ title: 'Pick one' }) === null, 'a cancelled file dialog answers null');

  x.chooseInDialog('one.txt', 5000);
  var single = w.selectFile({ initDir: '.', fileMustExist: true });
  t.ok(typeof single == 'string' && /\\one\.txt$/i.test(single), 'a chosen file is its full path: ' + single);

  x.chooseInDialog('"one.txt" "two.txt"', 5000);
  var several = w.selectFile({ multi: true, initDir: '.' });
  t.ok(several instanceof Array, 'a multiple selection is a native array');
  t.equal(several && several.length, 2, 'holding every chosen file');
  t.ok(several && /\\two\.txt$/i.test(several[1]), 'each as a full path: ' + (several && several[1]));

  // Paths of 260 characters and more come back whole: a folder of 200
  // characters (the dialog itself needs it below 260) holding longer names.
  function repeat(c, n) { return new Array(n + 1).join(c); }
  var here = x.makeFile('short', 'p.txt').length - 'short'.length;
  var deep = x.makeFile(repeat('d', 200 - here), repeat('a', 70) + '.txt');
  x.makeFile(repeat('d', 200 - here), repeat('b', 70) + '.txt');
  x.chooseInDialog('"' + repeat('a', 70) + '.txt" "' + repeat('b', 70) + '.txt"', 5000);
  var whole = w.selectFile({ multi: true, initDir: deep });
  t.equal(whole && whole.length, 2, 'a multiple selection keeps paths of 260 characters and more');
  t.ok(whole && whole[1] == deep + '\\' + repeat('b', 70) + '.txt',
       'each whole: ' + (whole && whole[1].length) + ' characters');

  x.pressInDialog(2, 5000);
  t.ok(w.selectFolder({ title: 'Folder' }) === null, 'a cancelled folder dialog answers null');
}

// The sink posts the caption press; it is counted when the frame takes it.
// The frame takes posted messages in order: once a size command posted after
// the presses is recorded, any caption press they posted was counted.
function dragging(done) {
  x.mouseDown(200, 50);
  waitFor('the press on the dragWindow element', function () { return x.captionPresses() > 0; }, function () {
    t.equal(x.captionPresses(), 1, 'a press on a dragWindow element moves the window');
    x.mouseDown(20, 15);
    x.mouseDown(110, 15);
    x.mouseDown(400, 300);
    x.postSysCommand(0xF003);
    waitFor('the size command posted after the presses', function () { return x.lastSizeCommand() == 0xF003; },
            function () {
      t.equal(x.captionPresses(), 1,
              'presses on a button inside it, on an inner dragWindow="false" element or outside do not');
      done();
    });
  });
}

messageBoxes();
fileDialogs();
// The drag sink is connected once the page has loaded.
waitFor('the document to complete', pageLoaded, function () {
  dragging(function () { t.done(); });
});

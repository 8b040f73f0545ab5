// The binding on the virtual rig: ownership of the key and the handler,
// frames as managed arrays, settings by name, failures as exceptions.
using System;
using System.Threading;
using Qel;

static class BindingTests
{
    static int failures;

    static void Check(bool ok, string what)
    {
        if (!ok) {
            ++failures;
            Console.Error.WriteLine("FAILED: " + what);
        }
    }

    static int Main()
    {
        Rig.Enable(true);
        Check(Rig.Enabled, "the rig is chosen");
        Check(Library.Version.Major == 1, "library version 1.x");
        Device[] devices = Library.Devices();
        Check(devices.Length == 3 && devices[0].SerialText == "QEL5#0000ABCD", "listing");
        Check(Array.Exists(Library.Formats(0), f => f.Width == 1920 && f.Height == 1080 &&
                           f.Name == "YUY2" && f.FrameInterval == 166667),
              "the formats' fields where the library puts them");

        int handled = 0;
        using (Camera camera = Camera.Open(0, 480, 270, 30.0)) {
            Check(!camera.CaptureOnly, "a camera of the family");
            camera.OnFrame(frame => { if (frame.Bytes.Length == 480 * 270 * 2) Interlocked.Increment(ref handled); });
            GC.Collect();  // the handler must survive a collection while installed
            Frame got = camera.Wait(TimeSpan.FromSeconds(2));
            Check(got != null && got.Bytes.Length == 480 * 270 * 2 && got.Info.Format == "YUY2",
                  "a frame that owns its bytes");
            camera.Set("led", 32);
            Check(camera.Get("led") == 32, "led by name");
            camera.Set("digital-gain", 400, 800, 1200, 1600);
            Check(camera.GetGroup("digital-gain")[3] == 1600, "a group by name");
            Check(camera.Describe("shutter").Maximum == 10000, "the model's range");
            Setting led = camera.Describe("led");
            Check(led.Value != null && led.Value[0] == 32, "a description's value");
            Setting number = camera.Describe("camera-number");
            Check(number.Choices.Length == 2 && number.Choices[1].Key == 2 &&
                  number.Choices[1].Value == "Camera 2", "a choice's values and labels");
            Check(camera.Settings().Length == 12, "the list");
            try {
                camera.Set("shutter", 20000);
                Check(false, "no exception for a value out of range");
            } catch (QelException e) {
                Check(e.Code == QelException.OutOfRange && e.Message.Contains("20000 lines"),
                      "the library's code and reason: " + e.Message);
            }
            for (int i = 0; i < 100 && Volatile.Read(ref handled) == 0; ++i) Thread.Sleep(10);
            Check(Volatile.Read(ref handled) > 0, "the frame handler ran");
        }
        try {
            using (Camera again = Camera.Open(0, 480, 270, 30.0)) {}
        } catch (QelException e) {
            Check(false, "disposing closed the camera: " + e.Message);
        }
        try {
            Camera.OpenSerial("QEL5#FFFFFFFF", 480, 270, 30.0);
            Check(false, "no exception for an unlisted serial");
        } catch (QelException e) {
            Check(e.Code == QelException.NoDevice, "unlisted serial: " + e.Message);
        }
        Console.WriteLine(failures == 0 ? "binding tests: all passed" : "binding tests: " + failures + " failed");
        return failures == 0 ? 0 : 1;
    }
}

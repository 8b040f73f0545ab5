// Grabs one frame from the first camera with the .NET binding and prints what
// it is. Build: mcs -r:Qel.Net.dll FirstFrame.cs. Run with QEL_PLATFORM=rig in
// the environment for the virtual cameras.
using System;
using Qel;

static class FirstFrame
{
    static int Main()
    {
        try {
            foreach (Device device in Library.Devices())
                Console.WriteLine("{0}: {1} {2}", device.Position, device.Name, device.SerialText);
            // Dispose (the end of using) closes the camera.
            using (Camera camera = Camera.Open(0, 480, 270, 30.0, "YUY2")) {
                Frame frame = camera.Wait(TimeSpan.FromSeconds(2));
                if (frame == null) {
                    Console.Error.WriteLine("no frame within 2 s");
                    return 1;
                }
                Console.WriteLine("frame {0}: {1}x{2} {3}, {4} bytes", frame.Info.Sequence,
                                  frame.Info.Width, frame.Info.Height, frame.Info.Format,
                                  frame.Bytes.Length);
            }
            return 0;
        } catch (QelException e) {
            // The library's code (QelException.OutOfRange, ...) and reason.
            Console.Error.WriteLine("failed ({0}): {1}", e.Code, e.Message);
            return 1;
        }
    }
}

import QtQuick
import QtQuick.Shapes

// A Shape that stays inside the views it lies in. Qt Quick's software renderer draws a shape that
// is wholly outside its clip (scrolled out of a page) with no clip at all, wherever it stands: over
// the toolbar above the page, where it stays until the window is drawn anew. Drawn into a layer
// of its own, the shape reaches that renderer as a picture, which it clips as it should.
Shape {
    layer.enabled: GraphicsInfo.api === GraphicsInfo.Software
}
